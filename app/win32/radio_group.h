// A radio group: a frame with a caption and one column of radio buttons, exactly one of which is
// selected. An item's position is its index.
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <vector>

struct ControlDefinition;

class RadioGroup {
public:
    // Makes the frame from its definition and then the items inside it, so that they follow it
    // in the tab order; item n gets the identifier frame.id + 1 + n. make creates one control
    // of the window.
    void Create(const ControlDefinition& frame, std::span<const char* const> texts, int itemIndex,
                const std::function<HWND(const ControlDefinition&)>& make);

    int ItemIndex() const;
    // Selects item index, or none for -1.
    void setItemIndex(int index);
    // True for the identifier of one of the items.
    bool IsItem(int controlId) const;
    HWND Item(int index) const { return items.at(static_cast<std::size_t>(index)); }

private:
    int firstId = 0;
    std::vector<HWND> items;
};
