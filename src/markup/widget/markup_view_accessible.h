// What a screen reader learns of a MarkupView through Qt's accessibility
// (on Linux carried on to AT-SPI): the text as shown, and one child per
// link with the link role, the link's text as its name and the actions
// press, menu and focus.
#pragma once

namespace vrel::markup {

class MarkupView;

// Lets Qt make the view's interface; the first view calls it.
void InstallMarkupViewAccessibility();
// After a new text: links that came or went, or changed their text.
void ReportLinksChanged(MarkupView& view);
// The keyboard focus is on this link of the view.
void ReportLinkFocused(MarkupView& view, int link);

}  // namespace vrel::markup
