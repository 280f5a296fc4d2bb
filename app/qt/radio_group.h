// A group box whose items are radio buttons in one column, of which at most one is selected.
// Items and ItemIndex are properties, so that a form definition can set them.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)

public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QStringList Items() const;
    // One radio button per text, from the top down. The selection keeps its index where the
    // new items still have one.
    void setItems(const QStringList& items);

    // Position of the selected item, or -1 when none is selected.
    int ItemIndex() const;
    // Selects the item at index; -1 and below clear the selection, an index past the last item
    // selects the last one.
    void setItemIndex(int index);

    // The radio button of item index, or null.
    QRadioButton* button(int index) const;

signals:
    // The user clicked one of the items.
    void clicked();

private:
    void MoveTabStop();

    QButtonGroup* group;
    QVBoxLayout* column;
    QStringList texts;
    int pendingIndex = -1; // a selection set while there were no items
};
