#include "saver/widget/saver_dlg.h"

#include <QCloseEvent>
#include <chrono>

#include "saver/widget/saver_wnd.h"

namespace vrel::saver {
namespace {

uint32_t TimeSeed() {
  return uint32_t(std::chrono::system_clock::now().time_since_epoch().count());
}

// The "hwnd" attribute of the root "S" as a decimal window id; 0 when absent.
unsigned long PreviewParent(XmlDoc& doc) {
  doc.SetPositions(0, 0, 0);
  if (!doc.FindElement(nullptr)) return 0;
  return std::strtoul(doc.GetAttribute("hwnd").c_str(), nullptr, 10);
}

}  // namespace

CSaverDlg::CSaverDlg(ui::CThreadDlgOwner& owner, SaverHost& host) : ui::CThreadDlg(owner), host_(host) {}

CSaverDlg::~CSaverDlg() { delete saver_.data(); }

CSaverWnd* CSaverDlg::Saver() const { return saver_.data(); }

void CSaverDlg::OnThreadMessage(XmlDoc& doc, int code) {
  if (code == ui::TDM_SHOW) StartSaver(PreviewParent(doc));
}

void CSaverDlg::StartSaver(unsigned long previewParent) {
  delete saver_.data();
  if (previewParent != 0) {
    saver_ = new CSaverWnd(host_.SaverEngine(), TimeSeed());
    if (!saver_->EmbedIn(previewParent)) delete saver_.data();
    return;
  }
  saver_ = new CSaverWnd(host_.SaverEngine(), TimeSeed(),
                          [this](const std::string& feedId) { host_.ScreenSaverEnded(feedId); });
  saver_->ShowFullScreen();
}

// The host only carries the saver; it never shows itself, and the user's
// close commands leave it running for the next start.
void CSaverDlg::setVisible(bool) { ui::CThreadDlg::setVisible(false); }

void CSaverDlg::closeEvent(QCloseEvent* event) { event->ignore(); }

void CSaverDlg::reject() {}

void CSaverDlg::accept() {}

}  // namespace vrel::saver
