#include "ui/find_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "edit/widget/text_edit.h"

namespace vrel::ui {

CFindDlg::CFindDlg(QWidget* parent)
    : QDialog(parent), m_edit(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)) {
  setWindowTitle(tr("Find"));
  auto* find = new QPushButton(tr("Find"), this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  find->setDefault(true);
  connect(find, &QPushButton::clicked, this, &CFindDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CFindDlg::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(find);
  buttons->addWidget(cancel);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_edit, 1, Qt::AlignTop);
  layout->addSpacing(5);
  layout->addLayout(buttons);
  resize(408, 93);
  m_edit->setFocus();
}

void CFindDlg::accept() {
  m_text = m_edit->Text();
  QDialog::accept();
}

}  // namespace vrel::ui
