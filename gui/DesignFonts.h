// Fonts of the windows: Tahoma at the pixel sizes the layouts name.
#pragma once

class QWidget;

// Makes Tahoma available to the application (from the system or Debian's fonts-wine).
void LoadTahoma();

// Gives `root` and every child Tahoma at the size and weight its layout names in the dynamic
// properties fontPx and fontBold; a child without them keeps the root's font.
void ApplyDesignFonts(QWidget* root);
