#include <QApplication>

#include "app/FotoshuttleApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return fotoshuttle::theApp.Run();
}
