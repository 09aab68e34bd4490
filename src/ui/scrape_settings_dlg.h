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
  const std::string& Text() const { return text_; }
  edit::TextEdit* Edit() const { return edit_; }

  void accept() override;

 private:
  std::string text_;
  edit::TextEdit* edit_;
};

}  // namespace vrel::ui
