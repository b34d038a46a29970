#include "app/qt/SetRegDialogView.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/AccessibleNames.h"
#include "ui/qt/EditValidator.h"

namespace qnl {

SetRegDialogView::SetRegDialogView(SetRegDialog& core, QWidget* parent)
    : QDialog(parent), core_(core), binder_(core.Controls(), this) {
    setWindowTitle("Setting Register");
    core_.OnInitDialog();

    auto* layout = new QVBoxLayout(this);
    auto* numberRow = new QHBoxLayout;
    auto* numberLabel = new QLabel(this);
    auto* number = new QLineEdit(this);
    number->setValidator(new EditValidator(0, false, number, "[0-9]*"));
    number->setFixedWidth(60);
    numberLabel->setBuddy(number);
    binder_.Bind(SetRegDialog::kLabelNumber, numberLabel);
    binder_.Bind(SetRegDialog::kEditNumber, number);
    connect(number, &QLineEdit::textChanged, this, [this](const QString& text) {
        core_.OnTextChanged(SetRegDialog::kEditNumber, text.toStdString());
    });
    numberRow->addWidget(numberLabel);
    numberRow->addWidget(number);
    numberRow->addStretch();
    layout->addLayout(numberRow);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    const ControlId headers[] = {SetRegDialog::kLabelBytes, SetRegDialog::kLabelAddress,
                                 SetRegDialog::kLabelValue};
    for (int column = 0; column < 3; ++column) {
        auto* header = new QLabel(this);
        binder_.Bind(headers[column], header);
        grid->addWidget(header, 0, column + 1);
    }
    for (int r = 0; r < SET_REG::kRows; ++r) {
        grid->addWidget(new QLabel(QString::number(r + 1), this), r + 1, 0);
        auto* bytes = new LabelledComboBox(this);
        binder_.Bind(SetRegDialog::Bytes(r), bytes);
        connect(bytes, &QComboBox::currentIndexChanged, this,
                [this, r](int index) { core_.OnSelectionChanged(SetRegDialog::Bytes(r), index); });
        grid->addWidget(bytes, r + 1, 1);
        for (ControlId id : {SetRegDialog::Address(r), SetRegDialog::Value(r)}) {
            auto* edit = new QLineEdit(this);
            edit->setValidator(new EditValidator(0, true, edit));
            edit->setMinimumWidth(110);
            binder_.Bind(id, edit);
            connect(edit, &QLineEdit::textChanged, this, [this, id](const QString& text) {
                core_.OnTextChanged(id, text.toStdString());
            });
            grid->addWidget(edit, r + 1, id == SetRegDialog::Address(r) ? 2 : 3);
        }
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(this);
    auto* cancel = new QPushButton(this);
    binder_.Bind(SetRegDialog::kButtonSave, save);
    binder_.Bind(SetRegDialog::kButtonCancel, cancel);
    save->setDefault(true);  // Enter saves
    cancel->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    number->setFocus();
}

SetRegDialogView::~SetRegDialogView() = default;

void SetRegDialogView::OnSave() {
    const SET_REG::DialogEnd end = core_.OnSave();
    ended_ = true;
    if (end == SET_REG::DialogEnd::Accepted)
        accept();
    else
        QDialog::reject();
}

void SetRegDialogView::reject() {
    // "取消", Escape and the close box end the dialog cancelled: the list is emptied.
    if (!ended_) core_.OnCancel();
    ended_ = true;
    QDialog::reject();
}

}  // namespace qnl
