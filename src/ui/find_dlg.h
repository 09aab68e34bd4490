// Find: asks for the text to search the stored items for.
#pragma once

#include <QDialog>

#include <string>
#include <string_view>

#include "xml/xml_doc.h"

namespace vrel::edit {
class TextEdit;
}

namespace vrel::ui {

class CFindDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CFindDlg(QWidget* parent = nullptr);

  // The search text once the dialog was confirmed.
  const std::string& Text() const { return text_; }
  edit::TextEdit* Edit() const { return edit_; }

  void accept() override;

 private:
  std::string text_;
  edit::TextEdit* edit_;
};

}  // namespace vrel::ui
