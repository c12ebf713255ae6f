// SPDX-License-Identifier: Apache-2.0
#include "app/gui/WindowAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>

#include "app/gui/FormWindow.h"

namespace {

// The status frame: a status bar whose name and read-only text are the caption it shows.
class StatusFrameAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusFrameAccessible(QGroupBox* frame) : QAccessibleWidget(frame, QAccessible::StatusBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        // Before the first step there is no caption: the frame goes by its accessible name.
        if (kind == QAccessible::Name && !Caption().isEmpty())
            return Caption();
        return QAccessibleWidget::text(kind);
    }

    QString text(int start, int end) const override {
        const QString caption = Caption();
        if (end < 0 || end > caption.size())
            end = int(caption.size());
        return start < 0 || start >= end ? QString() : caption.mid(start, end - start);
    }
    int characterCount() const override { return int(Caption().size()); }
    // No caret and no selection: the caption is read, never edited.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    QString Caption() const { return static_cast<QGroupBox*>(widget())->title(); }
};

// The choice list: named by its prompt, valued by the entry it shows, its one child the list
// it drops down, as Qt's own drop-down list but for the name.
class ChoiceListAccessible : public QAccessibleWidget {
public:
    explicit ChoiceListAccessible(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && !Prompt().isEmpty())
            return Prompt();  // else its accessible name, until the prompt is written
        if (kind == QAccessible::Value)
            return List()->currentText();
        return QAccessibleWidget::text(kind);  // a description falls back to the tool tip
    }
    int childCount() const override { return List()->view() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && List()->view() ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && List()->view() && child->object() == List()->view() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = List()->view() && List()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (List()->view() && List()->view()->isVisible()) {
            List()->hidePopup();
        } else {
            List()->showPopup();
        }
    }

private:
    QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
    // The text of the label that has the list as its buddy, as shown (so in the user's language).
    QString Prompt() const {
        const QWidget* parent = List()->parentWidget();
        if (!parent)
            return {};
        for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            if (label->buddy() == List())
                return label->text().trimmed();
        return {};
    }
};

// The window's own controls by class and object name; every other widget keeps Qt's object.
QAccessibleInterface* WindowControlAccessible(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("FormWindow"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (!qobject_cast<FormWindow*>(widget->parentWidget()))
        return nullptr;
    if (className == QLatin1String("QGroupBox") && widget->objectName() == QLatin1String("GroupBox2"))
        return new StatusFrameAccessible(static_cast<QGroupBox*>(widget));
    if (className == QLatin1String("QComboBox") && widget->objectName() == QLatin1String("ComboBox"))
        return new ChoiceListAccessible(static_cast<QComboBox*>(widget));
    return nullptr;
}

}  // namespace

void InstallWindowAccessibility() {
    QAccessible::installFactory(WindowControlAccessible);  // Qt keeps a factory once
}

void AnnounceStatus(QGroupBox* frame, const QString& before) {
    // The frame's setTitle has already told its name changed; its text changes with it.
    QAccessibleTextUpdateEvent update(frame, 0, before, frame->title());
    QAccessible::updateAccessibility(&update);
}

void FollowEntryToolTips(QComboBox* list) {
    const auto follow = [list](int entry) {
        list->setToolTip(list->itemData(entry, Qt::ToolTipRole).toString());
        QAccessibleEvent changed(list, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    };
    QObject::connect(list, &QComboBox::currentIndexChanged, list, follow);
    follow(list->currentIndex());
}
