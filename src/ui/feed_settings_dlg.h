// Modify Feed Settings: one feed's title, schedule and folder, a read-only summary
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
  bool ScrapeChanged() const { return scrapeChanged_; }

  // The scrape list as the Scrape Settings dialog shows it.
  std::string ScrapeText();
  // Takes a confirmed scrape list: the feed's items follow it.
  void ApplyScrapeText(const std::string& list);

  edit::TextEdit* TitleEdit() const { return titleEdit_; }
  edit::TextEdit* ScheduleEdit() const { return scheduleEdit_; }
  edit::TextEdit* FolderEdit() const { return folderEdit_; }
  markup::MarkupView* Summary() const { return summary_; }
  QPushButton* ScrapeButton() const { return scrapeButton_; }

  void accept() override;

 private:
  void FillFromFeed();
  void ShowSummary();
  void OnScrape();

  XmlDoc feed_;
  std::string titleText_, scheduleText_, folderText_;
  bool scrapeChanged_ = false;
  edit::TextEdit* titleEdit_;
  edit::TextEdit* scheduleEdit_;
  edit::TextEdit* folderEdit_;
  markup::MarkupView* summary_;
  QPushButton* scrapeButton_;
};

}  // namespace vrel::ui
