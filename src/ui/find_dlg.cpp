#include "ui/find_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "edit/widget/text_edit.h"

namespace vrel::ui {

CFindDlg::CFindDlg(QWidget* parent)
    : QDialog(parent), edit_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)) {
  setWindowTitle(tr("Find"));
  edit_->setAccessibleName(tr("Search text"));
  auto* find = new QPushButton(tr("Find"), this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  find->setDefault(true);
  connect(find, &QPushButton::clicked, this, &CFindDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CFindDlg::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(find);
  buttons->addWidget(cancel);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(edit_, 1, Qt::AlignTop);
  layout->addSpacing(5);
  layout->addLayout(buttons);
  resize(408, 93);
  edit_->setFocus();
}

void CFindDlg::accept() {
  text_ = edit_->Text();
  QDialog::accept();
}

}  // namespace vrel::ui
