#pragma once

class QWidget;

namespace fotoshuttle {

// Dialog templates give positions in dialog units: a quarter of the font's average character
// width across, an eighth of its height down. Turns a template loaded with unit geometry into
// pixels for the widget's own font, so the arrangement holds whatever font renders it.
void ScaleFromDialogUnits(QWidget* dialog);

}  // namespace fotoshuttle
