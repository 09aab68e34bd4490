#include "ui/scrape_settings_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "edit/widget/text_edit.h"

namespace vrel::ui {

CScrapeSettingsDlg::CScrapeSettingsDlg(const std::string& text, QWidget* parent)
    : QDialog(parent), m_text(text), m_edit(new edit::TextEdit(edit::TextEdit::Form::kMultiLine, this)) {
  setWindowTitle(tr("Scrape Settings"));
  auto* label = new QLabel(
      tr("Each scrape item consists of the search text and optional element name e.g. Last Trade:~lasttrade. "
         "Separate multiple items with semi- colons (escape semi-colons and tildas with backslash \\)."),
      this);
  label->setWordWrap(true);
  m_edit->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  m_edit->SetText(m_text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CScrapeSettingsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CScrapeSettingsDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(label);
  layout->addSpacing(8);
  layout->addWidget(m_edit, 1);
  layout->addWidget(buttons);
  resize(370, 292);
}

void CScrapeSettingsDlg::accept() {
  m_text = m_edit->Text();
  QDialog::accept();
}

}  // namespace vrel::ui
