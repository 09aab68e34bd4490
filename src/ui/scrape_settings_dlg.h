// Scrape Settings: edits the scrape list of a web page feed.
#pragma once

#include <QDialog>

#include <string>

namespace vrel::edit {
class TextEdit;
}

namespace vrel::ui {

class CScrapeSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CScrapeSettingsDlg(const std::string& text, QWidget* parent = nullptr);

  // The list as it was given, or as edited once the dialog was confirmed.
  const std::string& Text() const { return m_text; }
  edit::TextEdit* Edit() const { return m_edit; }

  void accept() override;

 private:
  std::string m_text;
  edit::TextEdit* m_edit;
};

}  // namespace vrel::ui
