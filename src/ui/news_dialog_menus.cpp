// The main dialog's menus and the commands they carry: the tray menu, the
// "Menu" button's popup, the feed context menu and the address box's edit
// menu.
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "edit/widget/text_edit.h"
#include "feeds/feed_commands.h"
#include "feeds/opml.h"
#include "feeds/time_stamp.h"
#include "feeds/view_request.h"
#include "markup/requests.h"
#include "markup/view_support.h"
#include "markup/widget/markup_view.h"
#include "ui/about_box.h"
#include "ui/feed_settings_dlg.h"
#include "ui/find_dlg.h"
#include "ui/news_dialog.h"
#include "ui/thread_dlg.h"
#include "ui/window_placement.h"
#include "version.h"

namespace vrel::ui {

namespace {

constexpr char kOpmlFilter[] = "OPML files (*.opml *.xml);;All files (*)";

QAction* AddCommand(QMenu& menu, int command, const QString& text, bool enabled = true) {
  QAction* action = menu.addAction(text);
  action->setData(command);
  action->setEnabled(enabled);
  return action;
}

// The command of the chosen action, 0 when the menu was dismissed.
int ChosenCommand(const QAction* chosen) { return chosen ? chosen->data().toInt() : 0; }

// An import or export: the status line tells what happened; a failure also
// gets a message box, since the user is waiting for the file.
void ReportFileOutcome(NewsEngine& engine, QWidget* dialog, const Outcome& outcome) {
  engine.SetStatusLine(MarkupText(outcome.Message()));
  if (!outcome) QMessageBox::warning(dialog, dialog->windowTitle(), QString::fromStdString(outcome.Message()));
}

}  // namespace

std::unique_ptr<QMenu> MakeFeedMenu(const FeedMenuModel& model, QWidget* parent) {
  auto menu = std::make_unique<QMenu>(parent);
  for (const FeedMenuEntry& entry : model.entries) {
    if (entry.command == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = AddCommand(*menu, entry.command, entry.text, entry.enabled);
    if (entry.command == model.defaultCommand) menu->setDefaultAction(action);
  }
  return menu;
}

QMenu* NewsDialog::BuildTrayMenu() {
  auto* menu = new QMenu(this);
  menu->setDefaultAction(AddCommand(*menu, kCmdNewsDialog, "News Dialog"));
  AddCommand(*menu, kCmdTrayShowNew, "Show New");
  AddCommand(*menu, kCmdResetWindowPositions, "Reset Window Positions");
  menu->addSeparator();
  AddCommand(*menu, kCmdExit, "Exit");
  connect(menu, &QMenu::triggered, this, [this](QAction* action) { RunCommand(ChosenCommand(action)); });
  return menu;
}

std::unique_ptr<QMenu> NewsDialog::BuildMainMenu() {
  auto menu = std::make_unique<QMenu>(this);
  AddCommand(*menu, kCmdShowNew, "Show New\tF7");
  AddCommand(*menu, kCmdMarkAllAsRead, "Mark All As Read\tShift+F7");
  AddCommand(*menu, kCmdShowScreenSaver, "Show Screen Saver");
  AddCommand(*menu, kCmdSettings, "Settings");
  AddCommand(*menu, kCmdFind, "Find\tCtrl+F");
  AddCommand(*menu, kCmdUpdateAll, "Update All");
  AddCommand(*menu, kCmdStatusMessages, "Status Messages", !engine_->StatusMessages().empty());
  menu->addSeparator();
  AddCommand(*menu, kCmdImportFeeds, "Import Feeds...");
  AddCommand(*menu, kCmdExportFeeds, "Export Feeds...");
  menu->addSeparator();
  AddCommand(*menu, kCmdAbout, "&About brackenfold News Reader...");
  // Without a tray its menu cannot be reached: what only it offers is here.
  if (!SystemTrayAvailable()) {
    menu->addSeparator();
    AddCommand(*menu, kCmdResetWindowPositions, "Reset Window Positions");
    AddCommand(*menu, kCmdExit, "Exit");
  }
  return menu;
}

// Right-aligned under the "Menu" button.
void NewsDialog::ShowMainMenu() {
  const std::unique_ptr<QMenu> menu = BuildMainMenu();
  const QPoint corner = menuButton_->mapToGlobal(QPoint(menuButton_->width(), menuButton_->height()));
  RunCommand(ChosenCommand(menu->exec(corner - QPoint(menu->sizeHint().width(), 0))));
}

void NewsDialog::ShowFeedMenu(const QString& linkMarkup) {
  LoadCurrentLink(linkMarkup);
  const FeedMenuModel model = BuildFeedMenu(currentLink_);
  if (model.entries.empty()) return;
  const std::unique_ptr<QMenu> menu = MakeFeedMenu(model, this);
  RunCommand(ChosenCommand(menu->exec(feedList_->LinkMenuPosition())));
}

void NewsDialog::ShowEditMenu(const QPoint& globalPos) {
  QMenu menu(this);
  AddCommand(menu, kCmdCut, "Cut\tCtrl+X", address_->CanCut());
  AddCommand(menu, kCmdCopy, "Copy\tCtrl+C", address_->CanCopy());
  AddCommand(menu, kCmdPaste, "Paste\tCtrl+V", address_->CanPaste());
  switch (ChosenCommand(menu.exec(globalPos))) {
    case kCmdCut:
      address_->Cut();
      break;
    case kCmdCopy:
      address_->Copy();
      break;
    case kCmdPaste:
      address_->Paste();
      break;
    default:
      break;
  }
}

void NewsDialog::RunCommand(int command) {
  switch (command) {
    case kCmdNewsDialog:
      ShowFromTray();
      break;
    case kCmdTrayShowNew:
    case kCmdShowNew:
      PostViewRequest({}, "ShowNew");
      break;
    case kCmdResetWindowPositions:
      ResetWindowPositions();
      break;
    case kCmdExit:
      ExitProgram();
      break;
    case kCmdMarkAllAsRead:
      MarkAllAsRead(*engine_);
      break;
    case kCmdShowScreenSaver:
      PostStartScreenSaver(0);
      break;
    case kCmdSettings:
      emit settingsRequested();
      break;
    case kCmdFind:
      Find();
      break;
    case kCmdUpdateAll:
      engine_->DownloadScheduler().QueueAllFeeds();
      break;
    case kCmdStatusMessages:
      PostViewRequest({}, "Errors");
      break;
    case kCmdImportFeeds:
      ImportFeeds();
      break;
    case kCmdExportFeeds:
      ExportFeeds();
      break;
    case kCmdAbout:
      AboutBox(kVersionString, this).exec();
      break;
    default:
      RunFeedCommand(command);
  }
}

// The feed commands act on the feed of the link last clicked in the list,
// the folder commands on the folder of its heading.
void NewsDialog::RunFeedCommand(int command) {
  const std::string feedId = currentLink_.GetAttribute("feedid");
  switch (command) {
    case kCmdFeedView:
      PostViewRequest(feedId, "Summary");
      break;
    case kCmdFeedViewBrief:
      PostViewRequest(feedId, "Brief");
      break;
    case kCmdFeedViewNew:
      PostViewRequest(feedId, "NewOnly");
      break;
    case kCmdFeedViewBriefNew:
      PostViewRequest(feedId, "BriefNewOnly");
      break;
    case kCmdFeedUpdateNow:
      UpdateFeedNow(*engine_, LeadingInt(feedId));
      break;
    case kCmdFeedDelete:
      DeleteFeed(*engine_, LeadingInt(feedId));
      break;
    case kCmdFeedMarkAsRead:
      MarkAsRead(*engine_, LeadingInt(feedId));
      break;
    case kCmdFeedModify:
      CFeedSettingsDlg::Modify(*engine_, LeadingInt(feedId), this);
      break;
    case kCmdFolderMarkAllAsRead:
      MarkFolderAsRead(*engine_, currentLink_.GetAttribute("folder"));
      break;
    case kCmdFolderUpdateNow:
      UpdateFolderNow(*engine_, currentLink_.GetAttribute("folder"));
      break;
    default:
      break;
  }
}

void NewsDialog::Find() {
  CFindDlg find(this);
  if (find.exec() == QDialog::Accepted) PostViewRequest(SearchRequest(find.Text()));
}

void NewsDialog::ResetWindowPositions() {
  const auto answer = QMessageBox::question(this, windowTitle(),
                                            "Move Configuration Dialog and Notification Window to Default Locations?",
                                            QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  const WindowRects defaults = DefaultPlaces(ScreenWorkAreas());
  setGeometry(defaults.main);
  notify_->SetPosition(ToWindowRect(defaults.notify));
  viewer_->SetPosition(ToWindowRect(defaults.viewer));
}

void NewsDialog::ImportFeeds() {
  const QString path = QFileDialog::getOpenFileName(this, "Import Feeds", {}, kOpmlFilter);
  if (path.isEmpty()) return;
  ReportFileOutcome(*engine_, this, ImportOpmlFile(*engine_, path.toStdString()));
}

void NewsDialog::ExportFeeds() {
  const QString path = QFileDialog::getSaveFileName(this, "Export Feeds", "feeds.opml", kOpmlFilter);
  if (path.isEmpty()) return;
  ReportFileOutcome(*engine_, this, ExportOpmlFile(*engine_, path.toStdString()));
}

}  // namespace vrel::ui
