#include "ui/feed_settings_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>
#include <mutex>

#include "edit/widget/text_edit.h"
#include "feeds/feed_folders.h"
#include "feeds/news_engine.h"
#include "feeds/time_stamp.h"
#include "markup/widget/markup_view.h"
#include "ui/feed_settings_text.h"
#include "ui/scrape_settings_dlg.h"

namespace vrel::ui {
namespace {

// The whole FEED element as a document of its own; empty when the feed is gone.
std::string CopyOfFeed(NewsEngine& engine, int feedId) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedById(feedId)) return {};
  XmlDoc& db = engine.Database().Document();
  return db.GetSubDocument(db.GetCurrentPosition());
}

}  // namespace

CFeedSettingsDlg::CFeedSettingsDlg(const XmlDoc& feed, QWidget* parent)
    : QDialog(parent),
      feed_(feed),
      titleEdit_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      scheduleEdit_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      folderEdit_(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      summary_(new markup::MarkupView(this)),
      scrapeButton_(new QPushButton(tr("Scrape..."), this)) {
  setWindowTitle(tr("Modify Feed Settings"));
  auto* ok = new QPushButton(tr("OK"), this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CFeedSettingsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CFeedSettingsDlg::reject);
  connect(scrapeButton_, &QPushButton::clicked, this, &CFeedSettingsDlg::OnScrape);

  titleEdit_->setMaximumWidth(288);
  scheduleEdit_->setMaximumWidth(288);
  folderEdit_->setMaximumWidth(288);
  summary_->setAccessibleName(tr("Summary"));
  auto* title = new QLabel(tr("&Title"), this);
  title->setBuddy(titleEdit_);
  auto* schedule = new QLabel(tr("&Schedule"), this);
  schedule->setBuddy(scheduleEdit_);
  auto* folder = new QLabel(tr("&Folder"), this);
  folder->setBuddy(folderEdit_);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(title, 0, 0);
  layout->addWidget(titleEdit_, 1, 0);
  layout->addWidget(schedule, 2, 0);
  layout->addWidget(scheduleEdit_, 3, 0);
  layout->addWidget(folder, 4, 0);
  layout->addWidget(folderEdit_, 5, 0);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(scrapeButton_);
  buttons->addStretch();
  layout->addLayout(buttons, 0, 1, 6, 1);
  layout->addWidget(summary_, 6, 0, 1, 2);
  layout->setRowStretch(6, 1);
  // Tab goes down the fields, then down the buttons, then to the summary below.
  setTabOrder(titleEdit_, scheduleEdit_);
  setTabOrder(scheduleEdit_, folderEdit_);
  setTabOrder(folderEdit_, ok);
  setTabOrder(ok, cancel);
  setTabOrder(cancel, scrapeButton_);
  setTabOrder(scrapeButton_, summary_);
  resize(492, 370);

  FillFromFeed();
  ShowSummary();
}

bool CFeedSettingsDlg::Modify(NewsEngine& engine, int feedId, QWidget* parent) {
  const std::string text = CopyOfFeed(engine, feedId);
  if (text.empty()) return false;
  XmlDoc feed;
  feed.SetDocumentText(text);
  CFeedSettingsDlg dialog(feed, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  return ApplyFeedSettings(engine, feedId, dialog.Result());
}

FeedSettings CFeedSettingsDlg::Result() const {
  FeedSettings settings{titleText_, scheduleText_, scrapeChanged_, {}, folderText_};
  if (scrapeChanged_) {
    XmlDoc feed = feed_;
    settings.items = FirstChildText(feed);
  }
  return settings;
}

std::string CFeedSettingsDlg::ScrapeText() { return ScrapeListText(feed_); }

void CFeedSettingsDlg::ApplyScrapeText(const std::string& list) {
  ReplaceFirstChild(feed_, ScrapeItemsFromList(FirstChildText(feed_), list));
  ShowSummary();
  scrapeChanged_ = true;
}

void CFeedSettingsDlg::accept() {
  titleText_ = titleEdit_->Text();
  scheduleText_ = scheduleEdit_->Text();
  folderText_ = folderEdit_->Text();
  QDialog::accept();
}

// A feed that was never downloaded shows empty fields and keeps its button:
// it may yet become a web page feed. Its folder shows all the same, since
// OK hands the box back as the folder.
void CFeedSettingsDlg::FillFromFeed() {
  const bool downloaded = !FirstChildText(feed_).empty();
  feed_.SetPositions(0, 0, 0);
  feed_.FindElement(nullptr);
  folderEdit_->SetText(feed_.GetAttribute(kFolderAttribute));
  if (!downloaded) return;
  titleEdit_->SetText(feed_.GetAttribute("title"));
  std::string period = feed_.GetAttribute("period");
  int64_t seconds = 0;
  ReadDuration(period, seconds);  // shows the normal form, or the default for nonsense
  scheduleEdit_->SetText(period);
  if (feed_.GetAttribute("type") != "HTML") {
    scrapeButton_->setEnabled(false);
    scrapeButton_->hide();
  }
}

void CFeedSettingsDlg::ShowSummary() { summary_->SetText(FeedSummaryMarkup(feed_, std::time(nullptr)), true); }

void CFeedSettingsDlg::OnScrape() {
  CScrapeSettingsDlg dialog(ScrapeText(), this);
  if (dialog.exec() == QDialog::Accepted) ApplyScrapeText(dialog.Text());
}

}  // namespace vrel::ui
