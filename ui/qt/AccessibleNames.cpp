#include "ui/qt/AccessibleNames.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QStringList>

#include <mutex>

namespace qnl {

namespace {

QString StripMnemonic(QString text) {
    text.replace("&&", QString(QChar(0x1)));
    text.remove('&');
    text.replace(QChar(0x1), '&');
    return text;
}

// The text of the label that names `widget` (its buddy), empty when none does.
QString BuddyText(const QWidget* widget) {
    const QWidget* top = widget->window();
    for (const QLabel* label : top->findChildren<QLabel*>())
        if (label->buddy() == widget) return StripMnemonic(label->text()).trimmed();
    return {};
}

// A list: named by its label, its value the entry shown; its pop-up list is its child, as in
// Qt's own interface.
class NamedComboBox final : public QAccessibleWidget {
  public:
    explicit NamedComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {
        addControllingSignal(QLatin1String("currentIndexChanged(int)"));
    }
    QComboBox* Combo() const { return static_cast<QComboBox*>(object()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name: {
                const QString name = Combo()->accessibleName();
                return name.isEmpty() ? BuddyText(Combo()) : name;
            }
            case QAccessible::Value:
                return Combo()->currentText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    int childCount() const override { return Combo()->view() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index != 0 || Combo()->view() == nullptr) return nullptr;
        return QAccessible::queryAccessibleInterface(Combo()->view());
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == Combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            Combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

constexpr const char* kFrameProperty = "qnlAccessibleFrame";

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) return nullptr;
    if (className == QLatin1String(LabelledComboBox::staticMetaObject.className()))
        return new NamedComboBox(static_cast<QComboBox*>(widget));
    // The most derived class only, so that Qt's own interfaces answer for its bases.
    if (widget->isWindow() && widget->property(kFrameProperty).toBool() &&
        className == QLatin1String(widget->metaObject()->className()))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

}  // namespace

void InstallAccessibleNames() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(Factory); });
}

void MarkAsFrame(QWidget* window) {
    InstallAccessibleNames();
    window->setProperty(kFrameProperty, true);
}

LabelledComboBox::LabelledComboBox(QWidget* parent) : QComboBox(parent) {
    InstallAccessibleNames();
}

}  // namespace qnl
