#include "ui/scrape_settings_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "edit/widget/text_edit.h"

namespace vrel::ui {

CScrapeSettingsDlg::CScrapeSettingsDlg(const std::string& text, QWidget* parent)
    : QDialog(parent), text_(text), edit_(new edit::TextEdit(edit::TextEdit::Form::kMultiLine, this)) {
  setWindowTitle(tr("Scrape Settings"));
  auto* label = new QLabel(
      tr("Each scrape item consists of the search text and optional element name e.g. Last Trade:~lasttrade. "
         "Separate multiple items with semi- colons (escape semi-colons and tildas with backslash \\)."),
      this);
  label->setWordWrap(true);
  label->setBuddy(edit_);
  edit_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  edit_->SetText(text_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CScrapeSettingsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CScrapeSettingsDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(label);
  layout->addSpacing(8);
  layout->addWidget(edit_, 1);
  layout->addWidget(buttons);
  resize(370, 292);
}

void CScrapeSettingsDlg::accept() {
  text_ = edit_->Text();
  QDialog::accept();
}

}  // namespace vrel::ui
