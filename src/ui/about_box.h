// The About box of the main dialog.
#pragma once

#include <QDialog>
#include <QString>

namespace vrel::ui {

// The whole version with "." separators, " Beta" added unless the third
// number starts with 0: "1,2,1,7" gives "1.2.1.7 Beta".
QString AboutVersion(const QString& versionString);

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  AboutBox(const QString& versionString, QWidget* parent);
};

}  // namespace vrel::ui
