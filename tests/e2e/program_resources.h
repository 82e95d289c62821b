// The program's resources as a user meets them: the texts it shows and where each dialog
// control sits, from its three resource scripts, and where the skin puts the main window's
// buttons, from its layout table and bitmaps.
#pragma once

#include <win/rcscript.h>

#include <string>

namespace e2e {

struct Point {
    int x = 0, y = 0;
};

class ProgramResources
{
  public:
    /** The resources of an interface language: 0 English, 1 simplified, 2 traditional Chinese. */
    static const ProgramResources &Of(int language);

    /** A string of the string table in UTF-8, "" when there is none. */
    std::string String(int id) const;
    /** A dialog's title in UTF-8, "" when there is no such dialog. */
    std::string Caption(int dialog) const;
    /** A point well inside a control of a dialog, in pixels of the dialog's client area; a
     *  drop-down list's point lies on its closed box. (-1, -1) when there is no such control. */
    Point ControlPoint(int dialog, int control) const;
    bool Loaded() const { return loaded_; }

    /** The middle of a skin button of the main window (by control id), in pixels of its
     *  client area, as the skin layout table and the button's bitmap place it; (-1, -1) for
     *  a button the skin does not show. */
    static Point SkinButtonPoint(int control);
    /** The middle of a box of the skin layout table (x, y, width, height of an entry: the
     *  number box 24, the menu panel's rows 61 to 65), in pixels of its window's client area. */
    static Point LayoutBoxPoint(int entry);
    /** The middle of the k-th shown button from the right of a wizard's bottom row (0: Cancel,
     *  1: Next or Finish, 2: Back), for a wizard window of that width and height. */
    static Point WizardButtonPoint(int width, int height, int k);

  private:
    explicit ProgramResources(int language);
    const win::rc::DialogTemplate *Dialog(int id) const;

    win::rc::Script script_;
    bool loaded_ = false;
};

} // namespace e2e
