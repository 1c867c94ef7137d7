// Fonts of the windows: Tahoma at the pixel sizes the layouts name.
#pragma once

class QWidget;

// Makes Tahoma available to the application (from the system or Debian's fonts-wine).
void LoadTahoma();

// Gives `root` Tahoma at `rootPixels` and every child the size and weight its layout names
// in the dynamic properties fontPx and fontBold.
void ApplyDesignFonts(QWidget* root, int rootPixels);
