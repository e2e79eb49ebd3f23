#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/FotoshuttleApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The program speaks Japanese, so Qt's own texts (box buttons, menus) do too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    return fotoshuttle::theApp.Run();
}
