// Test hook: how a static control shows its text.
//
// Only tests include this header.
#pragma once

class CWnd;

namespace win::testing
{

enum class TextFit {
    Whole,     // as it is, within its box
    Condensed, // on its one line, drawn narrower to fit
    Cut,       // partly outside its box, or cut with an ellipsis
};

/// Paints the static (or any control) and tells how its text fitted; Whole for other windows.
TextFit StaticTextFit(CWnd &control);

} // namespace win::testing
