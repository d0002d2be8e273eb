// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QDialog>
#include <QMainWindow>
#include <QTabBar>
#include <QWindow>

#include <vector>

namespace cardomine::platform::accessibility {

namespace {

QString withoutAccessKeys(QString text)
{
    // "&&" stands for one ampersand; a lone one marks the access key.
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1);
    return text;
}

// A drop-down list called by its own name; its value is the item shown, and its one
// child is the pop-up list, as in Qt's own description.
class NamedListAccessible : public QAccessibleWidget
{
public:
    explicit NamedListAccessible(QComboBox *list)
        : QAccessibleWidget(list, QAccessible::ComboBox)
    {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(kind);
    }

    int childCount() const override { return list()->view() != nullptr ? 1 : 0; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && list()->view() != nullptr
                   ? QAccessible::queryAccessibleInterface(list()->view())
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child != nullptr && list()->view() != nullptr && child->object() == list()->view()
                   ? 0
                   : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = list()->view() != nullptr && list()->view()->isVisible();
        return state;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction())
            list()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};

// One tab of a tab strip.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    TabAccessible(QTabBar *strip, int index)
        : m_strip(strip)
        , m_index(index)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    bool isValid() const override { return !m_strip.isNull() && m_index < m_strip->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return isValid() ? m_strip->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_strip.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return QString();
        if (kind == QAccessible::Name)
            return withoutAccessKeys(m_strip->tabText(m_index));
        if (kind == QAccessible::Description)
            return m_strip->tabToolTip(m_index);
        return QString();
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect tab = m_strip->tabRect(m_index);
        return QRect(m_strip->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invisible = true;
            return state;
        }
        const bool selected = m_index == m_strip->currentIndex();
        state.invisible = !m_strip->isVisible() || !m_strip->isTabVisible(m_index);
        state.disabled = !m_strip->isEnabled() || !m_strip->isTabEnabled(m_index);
        state.focusable = m_strip->focusPolicy() != Qt::NoFocus;
        state.selectable = true;
        state.selected = selected;
        // The selected tab carries the strip's focus, and only while the strip has it.
        state.focused = selected && m_strip->hasFocus();
        return state;
    }

    QStringList actionNames() const override { return QStringList{pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && isValid())
            m_strip->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return QStringList(); }

private:
    QPointer<QTabBar> m_strip;
    int m_index;
};

// A tab strip: its tabs first, then its own child widgets (the scroll arrows).
class TabStripAccessible : public QAccessibleWidget
{
public:
    explicit TabStripAccessible(QTabBar *strip)
        : QAccessibleWidget(strip, QAccessible::PageTabList)
    {}

    ~TabStripAccessible() override
    {
        for (const QAccessible::Id id : m_tabs)
            QAccessible::deleteAccessibleInterface(id);
    }

    QString text(QAccessible::Text kind) const override
    {
        // Named by the selected tab, as Qt does.
        if (kind == QAccessible::Name && strip()->currentIndex() >= 0)
            return withoutAccessKeys(strip()->tabText(strip()->currentIndex()));
        return QAccessibleWidget::text(kind);
    }

    int childCount() const override { return strip()->count() + QAccessibleWidget::childCount(); }

    QAccessibleInterface *child(int index) const override
    {
        const int tabs = strip()->count();
        if (index < 0)
            return nullptr;
        if (index >= tabs)
            return QAccessibleWidget::child(index - tabs);
        while (int(m_tabs.size()) <= index)
            m_tabs.push_back(QAccessible::registerAccessibleInterface(
                new TabAccessible(strip(), int(m_tabs.size()))));
        return QAccessible::accessibleInterface(m_tabs[std::size_t(index)]);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child == nullptr)
            return -1;
        if (child->role() == QAccessible::PageTab && child->object() == nullptr) {
            for (std::size_t i = 0; i < m_tabs.size(); ++i)
                if (QAccessible::accessibleInterface(m_tabs[i]) == child)
                    return int(i);
            return -1;
        }
        const int own = QAccessibleWidget::indexOfChild(child);
        return own < 0 ? -1 : own + strip()->count();
    }

    QAccessibleInterface *focusChild() const override
    {
        if (!strip()->hasFocus() || strip()->currentIndex() < 0)
            return nullptr;
        return child(strip()->currentIndex());
    }

private:
    QTabBar *strip() const { return static_cast<QTabBar *>(widget()); }

    mutable std::vector<QAccessible::Id> m_tabs;
};

QAccessibleInterface *describe(const QString &className, QObject *object)
{
    Q_UNUSED(className);
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *list = qobject_cast<QComboBox *>(widget)) {
        if (!list->isEditable() && !list->accessibleName().isEmpty())
            return new NamedListAccessible(list);
        return nullptr;
    }
    if (auto *strip = qobject_cast<QTabBar *>(widget))
        return new TabStripAccessible(strip);
    if (widget->windowType() == Qt::Window && widget->isWindow() &&
        qobject_cast<QDialog *>(widget) == nullptr &&
        qobject_cast<QMainWindow *>(widget) == nullptr)
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

bool installed = false;

} // namespace

void install()
{
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(describe);
}

} // namespace cardomine::platform::accessibility
