#include "radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kItemIndent = 8; // pixels from the group's edges

// An item takes a click anywhere in its row, not only on its indicator and text.
class RadioItem : public QRadioButton {
public:
    RadioItem(const QString& text, QWidget* parent) : QRadioButton(text, parent) {}

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace

RadioGroup::RadioGroup(QWidget* parent)
    : QGroupBox(parent), group(new QButtonGroup(this)), column(new QVBoxLayout(this)) {
    group->setExclusive(true);
    // The items share the height of the group evenly, each its text beside its indicator.
    column->setContentsMargins(kItemIndent, 0, kItemIndent, 0);
    column->setSpacing(0);
    connect(group, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
    connect(group, &QButtonGroup::idToggled, this, &RadioGroup::MoveTabStop);
}

void RadioGroup::MoveTabStop() {
    // Tab lands on the selected item (on the first while none is); the arrow keys move on
    // from there.
    const QList<QAbstractButton*> items = group->buttons();
    QAbstractButton* stop = group->checkedButton();
    if (stop == nullptr && !items.isEmpty())
        stop = items.first();
    for (QAbstractButton* item : items)
        item->setFocusPolicy(item == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

QStringList RadioGroup::Items() const {
    return texts;
}

void RadioGroup::setItems(const QStringList& items) {
    // A form definition may set the selection before the items: it is applied when they come.
    const int selection = texts.isEmpty() ? pendingIndex : ItemIndex();
    for (QAbstractButton* old : group->buttons()) {
        group->removeButton(old);
        delete old;
    }
    texts = items;
    for (qsizetype i = 0; i < items.size(); ++i) {
        auto* item = new RadioItem(items.at(i), this);
        item->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        group->addButton(item, static_cast<int>(i));
        column->addWidget(item);
    }
    setItemIndex(selection);
    MoveTabStop();
}

int RadioGroup::ItemIndex() const {
    return group->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (texts.isEmpty()) {
        pendingIndex = index;
        return;
    }
    const int count = static_cast<int>(texts.size());
    if (index >= count)
        index = count - 1;
    if (index < 0) {
        // An exclusive group keeps one button checked; let go of it for a moment.
        group->setExclusive(false);
        if (QAbstractButton* checked = group->checkedButton())
            checked->setChecked(false);
        group->setExclusive(true);
        MoveTabStop();
        return;
    }
    group->button(index)->setChecked(true);
}

QRadioButton* RadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(group->button(index));
}
