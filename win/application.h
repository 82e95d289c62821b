// The toolkit's application object of the widget part of the layer.
#pragma once

namespace win {

/// Creates the toolkit's application object when none exists yet (a message box may be needed
/// while global objects are constructed). Call on the thread that will run the interface.
void EnsureApplication();

} // namespace win
