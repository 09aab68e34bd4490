#include "feeds/news_engine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "feed_test_support.h"
#include "feeds/feed_merge.h"
#include "feeds/ini_settings_store.h"

namespace vrel {
namespace {

using test::EngineFixture;
using test::FeedAttribute;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const char kThreeFeeds[] =
    "<?xml version=\"1.0\"?>\r\n<FEEDSTATUS>\r\n"
    "<FEED uri=\"http://a/\" title=\"A\" feedid=\"7\"/>\r\n"
    "<FEED uri=\"http://b/\" title=\"B\" feedid=\"7\"/>\r\n"
    "<FEED uri=\"http://c/\" title=\"C\" feedid=\"2\"/>\r\n"
    "</FEEDSTATUS>\r\n";

std::string Rss(const std::string& title) {
  return "<rss version=\"2.0\"><channel><title>T</title><item><title>" + title + "</title></item></channel></rss>";
}

std::string DatabaseText(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  return engine.Database().Document().GetDocumentText();
}

// Runs the test body in another current directory.
class InDirectory {
 public:
  explicit InDirectory(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~InDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

TEST(DataFile, FirstStartUsesTheCurrentDirectoryAndRemembersIt) {
  EngineFixture f;
  InDirectory here(f.dir.path());
  ASSERT_TRUE(f.settings.SetString("DataFile", f.dir.Path("missing/feeds.xml")));
  f.engine.Start();
  const std::string expected = std::filesystem::current_path().string() + "/feedstatus.xml";
  EXPECT_EQ(f.engine.Settings().dataFile, expected);
  EXPECT_EQ(f.settings.GetString("DataFile"), expected);
  EXPECT_EQ(DatabaseText(f.engine), "");
  EXPECT_TRUE(f.engine.StatusMessages().empty());
  ASSERT_TRUE(f.engine.Save());
  EXPECT_TRUE(std::filesystem::exists(expected));
}

TEST(DataFile, AReadableConfiguredFileIsKept) {
  EngineFixture f;
  const std::string path = f.dir.Path("mine.xml");
  WriteFile(path, kThreeFeeds);
  ASSERT_TRUE(f.settings.SetString("DataFile", path));
  ASSERT_TRUE(f.settings.SetInt("NotificationSeconds", 1000));
  ASSERT_TRUE(f.settings.SetInt("Notification", 0));
  f.engine.Start();
  EXPECT_EQ(f.engine.Settings().dataFile, path);
  EXPECT_EQ(f.engine.Settings().notificationSeconds, 300);
  EXPECT_FALSE(f.engine.Settings().notification);
  EXPECT_TRUE(f.engine.Settings().exitOnClose);
  ASSERT_TRUE(f.settings.SetString("NotificationSeconds", "soon"));
  ASSERT_TRUE(f.engine.LoadSettings());
  EXPECT_EQ(f.engine.Settings().notificationSeconds, 1);
}

TEST(DataFile, FeedsAreRenumberedAtLoadAndFoundByAddressOrId) {
  EngineFixture f;
  const std::string path = f.dir.Path("db.xml");
  WriteFile(path, kThreeFeeds);
  f.engine.OpenDataFile(path);
  std::lock_guard lock(f.engine.Lock());
  FeedDatabase& db = f.engine.Database();
  // Only the identifiers change, byte for byte.
  std::string renumbered = kThreeFeeds;
  size_t at = 0;
  for (const char* id : {"1", "2", "3"}) renumbered.replace(at = renumbered.find("feedid=\"", at) + 8, 1, id);
  EXPECT_EQ(db.Document().GetDocumentText(), renumbered);
  for (const auto& [id, uri] : {std::pair{1, "http://a/"}, {2, "http://b/"}, {3, "http://c/"}}) {
    ASSERT_TRUE(db.FindFeedById(id));
    EXPECT_EQ(db.Document().GetAttribute("uri"), uri);
  }
  EXPECT_FALSE(db.FindFeedById(7));
  EXPECT_TRUE(db.FindFeedByUri("http://b/"));
  EXPECT_EQ(db.Document().GetAttribute("title"), "B");
  EXPECT_FALSE(db.FindFeedByUri("HTTP://B/"));
  EXPECT_EQ(db.AddFeed("http://d/", "D"), 4);
  EXPECT_TRUE(db.FindFeedById("4"));
  EXPECT_EQ(db.Document().GetAttribute("uri"), "http://d/");
}

TEST(DataFile, AnEmptyDatabaseGetsItsRootWithTheFirstFeed) {
  FeedDatabase db;
  EXPECT_FALSE(db.FindFeedByUri("x"));
  EXPECT_EQ(db.AddFeed("x", "X", "HTML"), 1);
  EXPECT_EQ(db.Document().GetDocumentText(),
            "<FEEDSTATUS>\r\n<FEED uri=\"x\" type=\"HTML\" title=\"X\" feedid=\"1\"/>\r\n</FEEDSTATUS>\r\n");
  EXPECT_TRUE(db.Document().IsWellFormed());
}

TEST(DataFile, ADamagedFileIsKeptBesideWhenFirstSavedOverAndItsFeedsSurvive) {
  EngineFixture f;
  const std::string path = f.dir.Path("feedstatus.xml");
  const std::string damaged =
      "<FEEDSTATUS>\r\n<FEED uri=\"http://a/\" title=\"A\" feedid=\"1\"><rss version=\"2.0\"><channel>"
      "<item firsttime=\"20240101 100000\" seq=\"1\"><title>kept</title></item></channel></rss></FEED>\r\n"
      "<FEED uri=\"http://b/\" title=\"B\" period=\"2 hours\"><rss version=\"2.0\"><channel><item><title>cut sh";
  WriteFile(path, damaged);
  f.engine.OpenDataFile(path);
  const std::string kept = path + ".damaged-" + f.Stamp();
  ASSERT_EQ(f.engine.StatusMessages().size(), 1u);
  EXPECT_NE(f.engine.StatusMessages()[0].find("kept as " + kept + " before it is written again"), std::string::npos)
      << f.engine.StatusMessages()[0];
  // Reading it makes no copy.
  EXPECT_FALSE(std::filesystem::exists(kept));
  // A whole feed survives with its items, a cut one with its settings.
  EXPECT_EQ(test::StoredItems(f.engine, "http://a/"),
            (std::vector<test::StoredItem>{{"kept", "", "20240101 100000", "1", 0}}));
  EXPECT_EQ(FeedAttribute(f.engine, "http://b/", "period"), "2 hours");
  EXPECT_EQ(FeedAttribute(f.engine, "http://b/", "feedid"), "2");

  const Outcome saved = f.engine.SaveIfModified();
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved.Message(), "The damaged data file " + path + " is kept as " + kept);
  XmlDoc reread;
  EXPECT_TRUE(reread.LoadFile(path)) << reread.GetResultText();
  EXPECT_EQ(ReadFile(kept), damaged);
}

// What several runs over damaged files leave: one copy per damaged
// content, none written over, however close together they come.
TEST(DataFile, EachDamagedContentIsKeptOnce) {
  EngineFixture f;
  const std::string path = f.dir.Path("feedstatus.xml");
  const auto damageAndSave = [&](const std::string& text) {
    WriteFile(path, text);
    NewsEngine engine(f.settings, [&] { return f.now; });
    engine.OpenDataFile(path);
    const Outcome saved = engine.Save();
    EXPECT_TRUE(saved) << saved.Message();
    return saved.Message();
  };
  const std::string kept = path + ".damaged-" + f.Stamp();
  EXPECT_EQ(damageAndSave("<FEEDSTATUS><FEED uri=\"http://a/\">"), "The damaged data file " + path + " is kept as " + kept);
  f.Advance(5);
  EXPECT_EQ(damageAndSave("<FEEDSTATUS><FEED uri=\"http://a/\">"), "");  // kept already
  f.Advance(-5);
  EXPECT_EQ(damageAndSave("<FEEDSTATUS><FEED uri=\"http://b/\">"),
            "The damaged data file " + path + " is kept as " + kept + "-2");
  EXPECT_EQ(ReadFile(kept), "<FEEDSTATUS><FEED uri=\"http://a/\">");
  EXPECT_EQ(ReadFile(kept + "-2"), "<FEEDSTATUS><FEED uri=\"http://b/\">");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.path()), {}), 3);
}

// A file cut off in the middle of its last FEED, as a full disk or a crash
// of another program leaves it: every item that was written whole survives.
TEST(DataFile, ATruncatedFileKeepsEveryCompleteItemOfItsCutFeed) {
  std::string whole = "<FEEDSTATUS>\r\n<FEED uri=\"http://a/\" title=\"A\" period=\"1 day\"><rss version=\"2.0\"><channel>"
                      "<title>A</title>\r\n";
  for (int i = 1; i <= 4; ++i)
    whole += "<item firsttime=\"20240101 10000" + std::to_string(i) + "\" seq=\"" + std::to_string(i) + "\"><title>t" +
             std::to_string(i) + "</title><link>http://a/" + std::to_string(i) + "</link></item>\r\n";
  const size_t fourth = whole.rfind("<item");
  for (const size_t cut : {whole.find("<link>", fourth) + 9, fourth - 2, fourth + 3}) {
    EngineFixture f;
    const std::string path = f.dir.Path("feedstatus.xml");
    WriteFile(path, whole.substr(0, cut));
    f.engine.OpenDataFile(path);
    const std::vector<test::StoredItem> items = test::StoredItems(f.engine, "http://a/");
    ASSERT_EQ(items.size(), 3u) << whole.substr(0, cut);
    EXPECT_EQ(items[2], (test::StoredItem{"t3", "http://a/3", "20240101 100003", "3", 0}));
    EXPECT_EQ(FeedAttribute(f.engine, "http://a/", "period"), "1 day");
    EXPECT_TRUE(XmlDoc().SetDocumentText(DatabaseText(f.engine))) << DatabaseText(f.engine);
  }
}

TEST(DataFile, ADamagedFileThatCannotBeKeptIsNotWrittenOver) {
  EngineFixture f;
  const std::string path = f.dir.Path("feedstatus.xml");
  WriteFile(path, "<FEEDSTATUS><FEED uri=\"http://a/\">");
  // Every name the copy could take is taken by something that is no copy.
  const std::string kept = path + ".damaged-" + f.Stamp();
  std::filesystem::create_directory(kept);
  for (int copy = 2; copy <= 9; ++copy) std::filesystem::create_directory(kept + "-" + std::to_string(copy));
  f.engine.OpenDataFile(path);
  ASSERT_TRUE(f.engine.MergeDownload("http://b/", Rss("x")));
  const Outcome saved = f.engine.Save();
  EXPECT_FALSE(saved);
  EXPECT_NE(saved.Message().find("could not be kept"), std::string::npos) << saved.Message();
  EXPECT_EQ(ReadFile(path), "<FEEDSTATUS><FEED uri=\"http://a/\">");
}

// The temporary file of a save that was killed midway, and one of a save
// still going on.
TEST(DataFile, LoadingRemovesWhatKilledSavesLeftBehind) {
  EngineFixture f;
  const std::string path = f.dir.Path("feeds.xml");
  WriteFile(path, kThreeFeeds);
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string stale = path + ".tmp" + std::to_string(gone) + "-0";
  const std::string saving = path + ".tmp" + std::to_string(getpid()) + "-7";
  const std::string other = path + ".tmpnotes";
  for (const std::string& file : {stale, saving, other}) WriteFile(file, "<FEEDSTATUS>");
  f.engine.OpenDataFile(path);
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(saving));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(FeedAttribute(f.engine, "http://c/", "feedid"), "3");
}

TEST(DataFile, AFolderOrDeviceIsNoDataFile) {
  EngineFixture f;
  for (const std::string& path : {f.dir.path(), std::string("/dev/null")}) {
    const Outcome loaded = f.engine.LoadDataFile(path);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(loaded.Message(), "The data file " + path +
                                    (path == f.dir.path() ? " is a folder, not a file" : " is not a regular file"));
    EXPECT_FALSE(f.engine.Save());
  }
  InDirectory here(f.dir.path());
  ASSERT_TRUE(f.settings.SetString("DataFile", f.dir.path()));
  f.engine.Start();
  EXPECT_EQ(f.engine.Settings().dataFile, std::filesystem::current_path().string() + "/feedstatus.xml");
}

TEST(DataFile, EmptyOrMissingFilesAreNotDamaged) {
  EngineFixture f;
  WriteFile(f.dir.Path("empty.xml"), " \r\n");
  f.engine.OpenDataFile(f.dir.Path("empty.xml"));
  f.engine.OpenDataFile(f.dir.Path("none.xml"));
  EXPECT_TRUE(f.engine.StatusMessages().empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.path()), {}), 1);
}

TEST(DataFile, SaveIfModifiedWritesOnlyAfterChanges) {
  EngineFixture f;
  const std::string path = f.dir.Path("db.xml");
  WriteFile(path, kThreeFeeds);
  f.engine.OpenDataFile(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(f.engine.SaveIfModified());
  EXPECT_FALSE(std::filesystem::exists(path));  // loading alone changes nothing

  ASSERT_TRUE(f.engine.MergeDownload("http://b/", Rss("x")));
  ASSERT_TRUE(f.engine.SaveIfModified());
  EXPECT_EQ(ReadFile(path), DatabaseText(f.engine));
  std::filesystem::remove(path);
  ASSERT_TRUE(f.engine.SaveIfModified());
  EXPECT_FALSE(std::filesystem::exists(path));

  NewsEngine again(f.settings);
  ASSERT_TRUE(f.engine.Save());
  again.OpenDataFile(path);
  EXPECT_EQ(test::StoredItems(again, "http://b/").size(), 1u);
  EXPECT_EQ(FeedAttribute(again, "http://c/", "feedid"), "3");
}

TEST(DataFile, ChangingToAMissingFileMovesTheDatabase) {
  EngineFixture f;
  const std::string oldPath = f.dir.Path("old.xml");
  WriteFile(oldPath, kThreeFeeds);
  f.engine.OpenDataFile(oldPath);
  const std::string newPath = f.dir.Path("new.xml");
  ASSERT_TRUE(f.engine.ChangeDataFile(newPath));
  EXPECT_EQ(f.engine.Database().Path(), newPath);
  EXPECT_EQ(f.settings.GetString("DataFile"), newPath);
  EXPECT_EQ(ReadFile(newPath), DatabaseText(f.engine));
  EXPECT_NE(ReadFile(newPath).find("uri=\"http://c/\""), std::string::npos);
  EXPECT_EQ(f.observer.replacements, 0);
  EXPECT_TRUE(f.engine.ChangeDataFile(newPath));  // the same path changes nothing
}

TEST(DataFile, ChangingToAnExistingFileSavesTheOldOneAndReplacesTheDatabase) {
  EngineFixture f;
  const std::string oldPath = f.dir.Path("old.xml");
  f.engine.OpenDataFile(oldPath);
  ASSERT_TRUE(f.engine.MergeDownload("http://mine/", Rss("x")));
  const std::string mine = DatabaseText(f.engine);
  const std::string otherPath = f.dir.Path("other.xml");
  WriteFile(otherPath, kThreeFeeds);
  const int listChanges = f.observer.feedListChanges;

  ASSERT_TRUE(f.engine.ChangeDataFile(otherPath));
  EXPECT_EQ(ReadFile(oldPath), mine);
  EXPECT_EQ(f.engine.Database().Path(), otherPath);
  EXPECT_EQ(f.settings.GetString("DataFile"), otherPath);
  EXPECT_EQ(FeedAttribute(f.engine, "http://c/", "feedid"), "3");
  EXPECT_EQ(FeedAttribute(f.engine, "http://mine/", "feedid"), "(no feed)");
  EXPECT_TRUE(f.engine.RecentFeeds().empty());
  EXPECT_EQ(f.observer.replacements, 1);
  EXPECT_EQ(f.observer.feedListChanges, listChanges + 1);
  // A new feed gets an identifier no other feed has.
  ASSERT_TRUE(f.engine.MergeDownload("http://new/", Rss("y")));
  EXPECT_EQ(FeedAttribute(f.engine, "http://new/", "feedid"), "4");
}

TEST(DataFile, AnUnreadableNewFileChangesNothing) {
  EngineFixture f;
  const std::string oldPath = f.dir.Path("old.xml");
  WriteFile(oldPath, kThreeFeeds);
  f.engine.OpenDataFile(oldPath);
  const std::string badPath = f.dir.Path("bad.xml");
  WriteFile(badPath, "<FEEDSTATUS><FEED>");
  const Outcome changed = f.engine.ChangeDataFile(badPath);
  EXPECT_FALSE(changed);
  EXPECT_FALSE(changed.Message().empty());
  EXPECT_EQ(f.engine.Database().Path(), oldPath);
  EXPECT_EQ(FeedAttribute(f.engine, "http://a/", "feedid"), "1");
  EXPECT_EQ(ReadFile(badPath), "<FEEDSTATUS><FEED>");
  EXPECT_EQ(f.settings.GetString("DataFile"), "");
}

// A file that is there but may not be written is refused, never replaced.
// Root may write any file, so the test drops to another user in a child.
TEST(DataFile, AnExistingFileThatCannotBeWrittenIsRefusedAndKept) {
  TempDir dir;
  const std::string oldPath = dir.Path("old.xml");
  const std::string other = dir.Path("theirs.xml");
  WriteFile(oldPath, kThreeFeeds);
  WriteFile(other, "<FEEDSTATUS><FEED uri=\"http://theirs/\"/></FEEDSTATUS>");
  std::filesystem::permissions(other, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                          std::filesystem::perms::others_read);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(oldPath, std::filesystem::perms::all);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        MemorySettingsStore settings;
        NewsEngine engine(settings);
        engine.OpenDataFile(oldPath);
        const Outcome changed = engine.ChangeDataFile(other);
        _exit(!changed && changed.Message().find("Permission denied") != std::string::npos &&
                      engine.Database().Path() == oldPath
                  ? 0
                  : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(other), "<FEEDSTATUS><FEED uri=\"http://theirs/\"/></FEEDSTATUS>");
}

TEST(StatusMessages, NewestFirstAtMostTen) {
  EngineFixture f;
  for (int i = 1; i <= 11; ++i) f.engine.AddStatusMessage("message " + std::to_string(i) + "\r\n\r\n");
  const std::vector<std::string> messages = f.engine.StatusMessages();
  ASSERT_EQ(messages.size(), kMaxStatusMessages);
  EXPECT_EQ(messages.front(), "message 11");
  EXPECT_EQ(messages.back(), "message 2");
}

TEST(Notification, NewsOfAMergeIsAnnouncedToTheFrontEnd) {
  EngineFixture f;
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", Rss("one")));
  ASSERT_TRUE(f.engine.MergeDownload("http://b/", Rss("two")));
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", Rss("one")));  // unread, so still news
  EXPECT_EQ(f.engine.RecentFeeds(), (std::vector<int>{2, 1}));
  ASSERT_EQ(f.observer.notifications.size(), 3u);
  EXPECT_EQ(f.observer.notifications[0].rfind("<NURL feedid=\"1\" type=\"BriefNewOnly\"", 0), 0u)
      << f.observer.notifications[0];
  EXPECT_EQ(f.observer.notifications[1].rfind("<NURL feedid=\"2\" type=\"BriefNewOnly\"", 0), 0u);
  EXPECT_EQ(f.observer.feedListChanges, 3);

  {
    std::lock_guard lock(f.engine.Lock());
    ASSERT_TRUE(f.engine.Database().FindFeedByUri("http://a/"));
    f.engine.Database().Document().SetAttribute("viewed", FeedAttribute(f.engine, "http://a/", "arrivetime"));
  }
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", Rss("one")));  // read and nothing new
  EXPECT_EQ(f.observer.notifications.size(), 3u);
  ASSERT_TRUE(f.engine.MergeDownload("http://g/", "<news><a>1</a></news>"));  // generic documents always show
  EXPECT_EQ(f.observer.notifications.size(), 4u);
}

TEST(Notification, WaitsForTheScreenSaverAndFollowsTheSetting) {
  EngineFixture f;
  f.observer.saverShowing = true;
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", Rss("one")));
  f.observer.saverShowing = false;
  ASSERT_TRUE(f.settings.SetInt("Notification", 0));
  ASSERT_TRUE(f.engine.LoadSettings());
  ASSERT_TRUE(f.engine.MergeDownload("http://b/", Rss("two")));
  EXPECT_TRUE(f.observer.notifications.empty());
  EXPECT_EQ(f.engine.RecentFeeds(), (std::vector<int>{1, 2}));
}

TEST(Notification, DesktopNotificationsAnnounceWithoutTheWindow) {
  EngineFixture f;
  ASSERT_TRUE(f.settings.SetInt("Notification", 0));
  ASSERT_TRUE(f.settings.SetInt("DesktopNotifications", 1));
  ASSERT_TRUE(f.engine.LoadSettings());
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", Rss("one")));
  EXPECT_EQ(f.observer.notifications.size(), 1u);
}

TEST(IniSettings, SharesTheFileWithOtherSections) {
  TempDir dir;
  const std::string path = dir.Path("conf/vrel.conf");
  IniSettingsStore store(path);
  EXPECT_FALSE(store.Read("DataFile"));
  std::filesystem::create_directories(dir.Path("conf"));
  WriteFile(path, "[General]\nDataFile=elsewhere\n\n[Settings]\nMainWindow=\"1,2,3,4,0\"\nNotification=0\n");
  EXPECT_EQ(store.GetString("MainWindow"), "1,2,3,4,0");
  EXPECT_EQ(store.GetInt("Notification", 1), 0);
  EXPECT_FALSE(store.Read("DataFile"));

  ASSERT_TRUE(store.SetString("DataFile", "/home/u/a,b \"x\"\\y.xml"));
  ASSERT_TRUE(store.SetInt("Notification", 1));
  EXPECT_EQ(store.GetString("DataFile"), "/home/u/a,b \"x\"\\y.xml");
  EXPECT_EQ(ReadFile(path),
            "[General]\nDataFile=elsewhere\n\n[Settings]\nMainWindow=\"1,2,3,4,0\"\nNotification=1\n"
            "DataFile=\"/home/u/a,b \\\"x\\\"\\\\y.xml\"\n");

  IniSettingsStore fresh(dir.Path("new/vrel.conf"));
  ASSERT_TRUE(fresh.SetInt("ExitOnClose", 0));
  EXPECT_EQ(ReadFile(dir.Path("new/vrel.conf")), "[Settings]\nExitOnClose=0\n");
}

}  // namespace
}  // namespace vrel
