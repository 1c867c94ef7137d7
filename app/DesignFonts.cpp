#include "app/DesignFonts.h"

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

void ApplyDesignFonts(QWidget* root, int rootPixels) {
    QFont base(FontFamily);
    base.setPixelSize(rootPixels);
    root->setFont(base);
    for (QWidget* child : root->findChildren<QWidget*>()) {
        const QVariant pixels = child->property("fontPx");
        if (!pixels.isValid()) {
            continue;
        }
        QFont font(FontFamily);
        font.setPixelSize(pixels.toInt());
        font.setBold(child->property("fontBold").toBool());
        child->setFont(font);
    }
}
