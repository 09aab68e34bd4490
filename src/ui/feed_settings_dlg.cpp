#include "ui/feed_settings_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>

#include "edit/widget/text_edit.h"
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
      m_feed(feed),
      m_titleEdit(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      m_scheduleEdit(new edit::TextEdit(edit::TextEdit::Form::kSingleLine, this)),
      m_summary(new markup::MarkupView(this)),
      m_scrapeButton(new QPushButton(tr("Scrape..."), this)) {
  setWindowTitle(tr("Modify Feed Settings"));
  auto* ok = new QPushButton(tr("OK"), this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CFeedSettingsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CFeedSettingsDlg::reject);
  connect(m_scrapeButton, &QPushButton::clicked, this, &CFeedSettingsDlg::OnScrape);

  m_titleEdit->setMaximumWidth(288);
  m_scheduleEdit->setMaximumWidth(288);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(new QLabel(tr("Title"), this), 0, 0);
  layout->addWidget(m_titleEdit, 1, 0);
  layout->addWidget(new QLabel(tr("Schedule"), this), 2, 0);
  layout->addWidget(m_scheduleEdit, 3, 0);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(m_scrapeButton);
  buttons->addStretch();
  layout->addLayout(buttons, 0, 1, 4, 1);
  layout->addWidget(m_summary, 4, 0, 1, 2);
  layout->setRowStretch(4, 1);
  resize(492, 330);

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
  FeedSettings settings{m_titleText, m_scheduleText, m_scrapeChanged, {}};
  if (m_scrapeChanged) {
    XmlDoc feed = m_feed;
    settings.items = FirstChildText(feed);
  }
  return settings;
}

std::string CFeedSettingsDlg::ScrapeText() { return ScrapeListText(m_feed); }

void CFeedSettingsDlg::ApplyScrapeText(const std::string& list) {
  ReplaceFirstChild(m_feed, ScrapeItemsFromList(FirstChildText(m_feed), list));
  ShowSummary();
  m_scrapeChanged = true;
}

void CFeedSettingsDlg::accept() {
  m_titleText = m_titleEdit->Text();
  m_scheduleText = m_scheduleEdit->Text();
  QDialog::accept();
}

// A feed that was never downloaded shows empty fields and keeps its button:
// it may yet become a web page feed.
void CFeedSettingsDlg::FillFromFeed() {
  if (FirstChildText(m_feed).empty()) return;
  m_feed.SetPositions(0, 0, 0);
  m_feed.FindElement(nullptr);
  m_titleEdit->SetText(m_feed.GetAttribute("title"));
  std::string period = m_feed.GetAttribute("period");
  int64_t seconds = 0;
  ReadDuration(period, seconds);  // shows the normal form, or the default for nonsense
  m_scheduleEdit->SetText(period);
  if (m_feed.GetAttribute("type") != "HTML") {
    m_scrapeButton->setEnabled(false);
    m_scrapeButton->hide();
  }
}

void CFeedSettingsDlg::ShowSummary() { m_summary->SetText(FeedSummaryMarkup(m_feed), true); }

void CFeedSettingsDlg::OnScrape() {
  CScrapeSettingsDlg dialog(ScrapeText(), this);
  if (dialog.exec() == QDialog::Accepted) ApplyScrapeText(dialog.Text());
}

}  // namespace vrel::ui
