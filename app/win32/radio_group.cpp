#include "radio_group.h"

#include "form.h"
#include "window_font.h"

namespace {

constexpr int kItemIndent = 8;   // pixels from the frame's left edge
constexpr int kFrameMargin = 5;  // pixels that the frame's border takes below the caption
constexpr int kSideMargins = 10; // pixels, both sides together

// The height of a line of the window font.
int LineHeight() {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, WindowFont());
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return metrics.tmHeight;
}

} // namespace

void RadioGroup::Create(const ControlDefinition& frame, std::span<const char* const> texts,
                        int itemIndex, const std::function<HWND(const ControlDefinition&)>& make) {
    make(frame);
    firstId = frame.id + 1;
    // The items share the frame's height under its caption evenly, in one column.
    const int count = static_cast<int>(texts.size());
    const int lineHeight = LineHeight();
    const int room = frame.height - lineHeight - kFrameMargin;
    const int itemHeight = room / count;
    const int top = frame.top + lineHeight + 1 + (room % count) / 2;
    for (int i = 0; i < count; ++i) {
        // The first item starts the group that the arrow keys move in and takes the Tab stop.
        const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        const ControlDefinition item{firstId + i,
                                     "BUTTON",
                                     texts[static_cast<std::size_t>(i)],
                                     frame.left + kItemIndent,
                                     top + i * itemHeight,
                                     frame.width - kSideMargins,
                                     itemHeight,
                                     style,
                                     0};
        items.push_back(make(item));
    }
    setItemIndex(itemIndex);
}

int RadioGroup::ItemIndex() const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (SendMessageA(items[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
            return static_cast<int>(i);
    }
    return -1;
}

void RadioGroup::setItemIndex(int index) {
    const int count = static_cast<int>(items.size());
    if (index >= count)
        index = count - 1;
    for (int i = 0; i < count; ++i) {
        const bool selected = i == index;
        SendMessageA(items[static_cast<std::size_t>(i)], BM_SETCHECK,
                     selected ? BST_CHECKED : BST_UNCHECKED, 0);
        // Tab enters the group at its selected item.
        LONG_PTR style = GetWindowLongPtrA(items[static_cast<std::size_t>(i)], GWL_STYLE);
        style = selected || (index < 0 && i == 0) ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
        SetWindowLongPtrA(items[static_cast<std::size_t>(i)], GWL_STYLE, style);
    }
}

bool RadioGroup::IsItem(int controlId) const {
    return controlId >= firstId && controlId < firstId + static_cast<int>(items.size());
}
