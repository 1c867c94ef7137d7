#include "gui/DesignFonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* FontFamily = "Tahoma";
}

void LoadTahoma() {
    static bool loaded = false;
    if (loaded) {
        return;
    }
    loaded = true;
    if (QFontDatabase::families().contains(FontFamily)) {
        return;
    }
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(file)) {
            QFontDatabase::addApplicationFont(file);
        }
    }
}

void ApplyDesignFonts(QWidget* root) {
    // The root first: children without a size of their own inherit its font.
    QList<QWidget*> widgets{root};
    widgets += root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant pixels = widget->property("fontPx");
        if (!pixels.isValid()) {
            continue;
        }
        QFont font(FontFamily);
        font.setPixelSize(pixels.toInt());
        font.setBold(widget->property("fontBold").toBool());
        widget->setFont(font);
    }
}
