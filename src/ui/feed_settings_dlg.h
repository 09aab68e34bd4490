// Modify Feed Settings: one feed's title and schedule, a read-only summary
// of what it holds and, for web page feeds, its scrape settings. Works on a
// copy of the FEED element; the caller applies the result.
#pragma once

#include <QDialog>

#include <string>

#include "feeds/feed_commands.h"
#include "xml/xml_doc.h"

class QPushButton;

namespace vrel::edit {
class TextEdit;
}
namespace vrel::markup {
class MarkupView;
}

namespace vrel::ui {

class CFeedSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  // feed: a document whose root is a copy of the FEED element.
  explicit CFeedSettingsDlg(const XmlDoc& feed, QWidget* parent = nullptr);

  // The Modify command: copies the feed under the database lock, runs the
  // dialog without it and applies an OK to the feed if it still exists.
  // True when something was applied.
  static bool Modify(NewsEngine& engine, int feedId, QWidget* parent);

  // What OK hands back, ready for ApplyFeedSettings.
  FeedSettings Result() const;
  const std::string& TitleText() const { return m_titleText; }
  const std::string& ScheduleText() const { return m_scheduleText; }
  bool ScrapeChanged() const { return m_scrapeChanged; }
  const XmlDoc& Feed() const { return m_feed; }

  // The scrape list as the Scrape Settings dialog shows it.
  std::string ScrapeText();
  // Takes a confirmed scrape list: the feed's items follow it.
  void ApplyScrapeText(const std::string& list);

  edit::TextEdit* TitleEdit() const { return m_titleEdit; }
  edit::TextEdit* ScheduleEdit() const { return m_scheduleEdit; }
  markup::MarkupView* Summary() const { return m_summary; }
  QPushButton* ScrapeButton() const { return m_scrapeButton; }

  void accept() override;

 private:
  void FillFromFeed();
  void ShowSummary();
  void OnScrape();

  XmlDoc m_feed;
  std::string m_titleText, m_scheduleText;
  bool m_scrapeChanged = false;
  edit::TextEdit* m_titleEdit;
  edit::TextEdit* m_scheduleEdit;
  markup::MarkupView* m_summary;
  QPushButton* m_scrapeButton;
};

}  // namespace vrel::ui
