// Where the download and proxy dialogs open over the main window.
#pragma once

namespace qor {

struct TDialogPosition {
    int Left = 0;
    int Top = 0;
    bool operator==(const TDialogPosition&) const = default;
};

// Centred horizontally, a quarter of the spare height from the top; outer window sizes,
// divisions truncating toward zero (a dialog larger than its owner goes left or up).
constexpr TDialogPosition PlaceOverOwner(int ownerLeft, int ownerTop, int ownerWidth,
                                         int ownerHeight, int dialogWidth, int dialogHeight) {
    return {ownerLeft + (ownerWidth - dialogWidth) / 2,
            ownerTop + (ownerHeight - dialogHeight) / 4};
}

} // namespace qor
