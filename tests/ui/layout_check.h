// Test helper: what is wrong with the layout of a window's controls as a user sees it.
#pragma once

#include <string>
#include <vector>

class CWnd;

/// How texts must fit: a dialog made from a template can make room for them; the skin's
/// lines have the sizes of its pictures, so a text may be drawn condensed on its line there,
/// and a choice list shows its items in its dropped-down list (widened to them).
enum class FitRules { Template, Skin };

/// One text per fault among the visible controls of the window:
/// - two controls that cover each other, unless one is a group box that holds the other
///   wholly (a frame drawn around controls on purpose);
/// - a text that does not fit its control in the font it is drawn in: a static's text must
///   show whole; a button's, check box's and group box's text, and under the template rules
///   each item of a combo box, must fit beside the toolkit's own frame and margins.
std::vector<std::string> LayoutFaults(CWnd &window, FitRules rules = FitRules::Template);

/// The faults, one a line, for a test's message.
std::string Lines(const std::vector<std::string> &faults);
