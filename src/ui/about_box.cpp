#include "ui/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vrel::ui {

QString AboutVersion(const QString& versionString) {
  QString dotted = versionString;
  dotted.replace(',', '.');
  const qsizetype second = dotted.indexOf('.', dotted.indexOf('.') + 1);
  const bool beta = second >= 0 && dotted.mid(second + 1, 1) != "0";
  return beta ? dotted + " Beta" : dotted;
}

AboutBox::AboutBox(const QString& versionString, QWidget* parent) : QDialog(parent) {
  setWindowTitle("About brackenfold News Reader");
  auto* icon = new QLabel;
  icon->setPixmap(windowIcon().pixmap(32, 32));
  auto* text = new QLabel(QString("brackenfold News Reader %1").arg(AboutVersion(versionString)) +
                          "\nOstrivane Software\n\nReads news feeds and shows what is new.");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(buttons);
  setLayout(column);
}

}  // namespace vrel::ui
