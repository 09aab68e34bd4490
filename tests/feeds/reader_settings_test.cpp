#include "feeds/reader_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "feed_test_support.h"

namespace vrel {
namespace {

using test::EngineFixture;
using test::TempDir;
using test::WriteFile;

// A store whose writes fail while refusing is set, as a read-only settings
// file makes them fail.
class RefusingStore : public MemorySettingsStore {
 public:
  Outcome Write(const std::string& name, const std::string& value) override {
    if (refusing) return Outcome::Failure("cannot write the setting " + name);
    return MemorySettingsStore::Write(name, value);
  }

  bool refusing = false;
};

TEST(ReaderSettings, ValuesHaveTheirDefaultsAndRanges) {
  MemorySettingsStore store;
  ReaderSettings settings(store);
  EXPECT_EQ(settings.Read(), NewsSettings{});
  EXPECT_EQ(NewsSettings{}.notificationSeconds, 8);
  EXPECT_TRUE(NewsSettings{}.notification && NewsSettings{}.defaultBrowser && NewsSettings{}.exitOnClose);

  ASSERT_TRUE(store.SetString("NotificationSeconds", "0"));
  EXPECT_EQ(settings.Read().notificationSeconds, 1);
  ASSERT_TRUE(store.SetString("NotificationSeconds", "1000"));
  EXPECT_EQ(settings.Read().notificationSeconds, 300);
  ASSERT_TRUE(settings.SetNotificationSeconds(-4));
  EXPECT_EQ(store.GetString("NotificationSeconds"), "1");
  ASSERT_TRUE(store.SetString("ExitOnClose", "7"));  // any number but 0 is on
  EXPECT_TRUE(settings.Read().exitOnClose);
  ASSERT_TRUE(settings.SetExitOnClose(false));
  EXPECT_EQ(store.GetString("ExitOnClose"), "0");
}

TEST(ReaderSettings, DesktopNotificationsDefaultComesFromTheDesktopAndAStoredValueWins) {
  MemorySettingsStore store;
  ReaderSettings settings(store);
  EXPECT_FALSE(settings.Read().desktopNotifications);
  settings.SetDesktopNotificationsDefault(true);
  EXPECT_TRUE(settings.Read().desktopNotifications);
  NewsSettings wanted = settings.Read();
  wanted.desktopNotifications = false;
  ASSERT_TRUE(settings.WriteChanges(settings.Read(), wanted));
  EXPECT_EQ(store.GetString("DesktopNotifications"), "0");
  EXPECT_FALSE(settings.Read().desktopNotifications);
}

TEST(ReaderSettings, WriteChangesWritesOnlyWhatDiffers) {
  MemorySettingsStore store;
  ReaderSettings settings(store);
  NewsSettings wanted;
  wanted.notification = false;
  wanted.notificationSeconds = 500;
  wanted.dataFile = "/not/written/here.xml";
  ASSERT_TRUE(settings.WriteChanges(settings.Read(), wanted));
  EXPECT_EQ(store.GetString("Notification"), "0");
  EXPECT_EQ(store.GetString("NotificationSeconds"), "300");
  EXPECT_FALSE(store.Read("ExitOnClose"));
  EXPECT_FALSE(store.Read("DefaultBrowser"));
  EXPECT_FALSE(store.Read("DesktopNotifications"));
  EXPECT_FALSE(store.Read("DataFile"));
}

TEST(ReaderSettings, SavedPlacementsAreReadWhenUsable) {
  MemorySettingsStore store;
  ReaderSettings settings(store);
  ASSERT_TRUE(store.SetString("MainWindow", "10,20,410,720,1"));
  ASSERT_TRUE(store.SetString("NotifyWindow", "100,100,131,131"));  // 31 pixels are enough
  ASSERT_TRUE(store.SetString("ViewerWindow", " 0, 0,500,400"));
  WindowPlacements placements = settings.ReadPlacements();
  EXPECT_EQ(placements.main, (WindowRect{10, 20, 410, 720}));
  EXPECT_TRUE(placements.mainMaximised);
  EXPECT_EQ(placements.notify, (WindowRect{100, 100, 131, 131}));
  EXPECT_EQ(placements.viewer, (WindowRect{0, 0, 500, 400}));

  const std::pair<const char*, const char*> unusable[] = {
      {"MainWindow", "10,20,410,720"},          {"MainWindow", "10,20,40,720,0"},
      {"NotifyWindow", "100,100,130,200"},      {"NotifyWindow", "100,100,200,130"},
      {"ViewerWindow", "500,500,100,100"},      {"ViewerWindow", "1,2,300"},
      {"ViewerWindow", "left,top,right,bottom"}, {"NotifyWindow", ""},
      {"NotifyWindow", "0,0,99999999999,200"},  {"ViewerWindow", "-2147483648,0,2147483647,400"},
  };
  for (const auto& [name, saved] : unusable) {
    MemorySettingsStore other;
    ASSERT_TRUE(other.SetString(name, saved));
    placements = ReaderSettings(other).ReadPlacements();
    EXPECT_FALSE(placements.main || placements.notify || placements.viewer) << name << "=" << saved;
    EXPECT_FALSE(placements.mainMaximised) << name << "=" << saved;
  }
}

TEST(ReaderSettings, PlacementsAreWrittenAsEdgesAndAMinimisedMainKeepsItsOwn) {
  MemorySettingsStore store;
  ReaderSettings settings(store);
  ASSERT_TRUE(settings.WritePlacements(WindowRect{1, 2, 321, 642}, true, {3, 4, 323, 84}, {5, 6, 485, 646}));
  EXPECT_EQ(store.GetString("MainWindow"), "1,2,321,642,1");
  EXPECT_EQ(store.GetString("NotifyWindow"), "3,4,323,84");
  EXPECT_EQ(store.GetString("ViewerWindow"), "5,6,485,646");
  ASSERT_TRUE(settings.WritePlacements(std::nullopt, false, {7, 8, 327, 88}, {5, 6, 485, 646}));
  EXPECT_EQ(store.GetString("MainWindow"), "1,2,321,642,1");
  EXPECT_EQ(store.GetString("NotifyWindow"), "7,8,327,88");
}

TEST(ReaderSettings, AWriteThatFailsIsReported) {
  RefusingStore store;
  store.refusing = true;
  ReaderSettings settings(store);
  EXPECT_EQ(settings.SetNotification(false).Message(), "cannot write the setting Notification");
  NewsSettings wanted;
  wanted.exitOnClose = false;
  EXPECT_FALSE(settings.WriteChanges(NewsSettings{}, wanted));
  EXPECT_FALSE(settings.WritePlacements(std::nullopt, false, {3, 4, 323, 84}, {5, 6, 485, 646}));
}

TEST(EngineSettings, ADataFileThatCouldNotBeConfiguredIsReported) {
  TempDir dir;
  RefusingStore store;
  NewsEngine engine(store);
  ASSERT_TRUE(store.SetString("DataFile", dir.Path("missing.xml")));
  store.refusing = true;
  // The start-up rule picks ./feedstatus.xml and cannot remember it.
  EXPECT_EQ(engine.LoadSettings().Message(), "cannot write the setting DataFile");

  const std::string moved = dir.Path("moved.xml");
  engine.OpenDataFile(dir.Path("feeds.xml"));
  const Outcome changed = engine.ChangeDataFile(moved);
  EXPECT_EQ(changed.Message(), "cannot write the setting DataFile");
  EXPECT_EQ(engine.Database().Path(), moved);  // the feeds did move
  EXPECT_TRUE(std::filesystem::exists(moved));
}

TEST(EngineSettings, ARefusedDataFileChangesNoOtherSetting) {
  EngineFixture f;
  const std::string path = f.dir.Path("feeds.xml");
  WriteFile(path, "<FEEDSTATUS/>");
  ASSERT_TRUE(f.settings.SetString("DataFile", path));
  f.engine.Start();
  const std::string unusable = f.dir.Path("broken.xml");
  WriteFile(unusable, "<FEEDSTATUS><FEED>");
  NewsSettings wanted = f.engine.Settings();
  wanted.dataFile = unusable;
  wanted.exitOnClose = false;
  wanted.notificationSeconds = 20;
  EXPECT_FALSE(f.engine.ChangeSettings(wanted));
  EXPECT_EQ(f.engine.Settings(), ReaderSettings(f.settings).Read());
  EXPECT_TRUE(f.engine.Settings().exitOnClose);
  EXPECT_FALSE(f.settings.Read("ExitOnClose"));
  EXPECT_FALSE(f.settings.Read("NotificationSeconds"));
  EXPECT_EQ(f.settings.GetString("DataFile"), path);
}

TEST(EngineSettings, ChangingSettingsKeepsTheDataFileInUse) {
  EngineFixture f;
  const std::string path = f.dir.Path("feeds.xml");
  WriteFile(path, "<FEEDSTATUS/>");
  ASSERT_TRUE(f.settings.SetString("DataFile", path));
  f.engine.Start();
  std::filesystem::remove(path);  // gone meanwhile: the start-up rule would pick another
  NewsSettings wanted = f.engine.Settings();
  wanted.notification = false;
  ASSERT_TRUE(f.engine.ChangeSettings(wanted));
  EXPECT_EQ(f.engine.Settings().dataFile, path);
  EXPECT_EQ(f.settings.GetString("DataFile"), path);
  EXPECT_FALSE(f.engine.Settings().notification);
  EXPECT_EQ(f.settings.GetString("Notification"), "0");
}

}  // namespace
}  // namespace vrel
