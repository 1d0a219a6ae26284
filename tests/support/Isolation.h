#pragma once

namespace support {

// Gives the test program folders of its own for HOME, the XDG base folders, XDG_RUNTIME_DIR and
// TMPDIR, inside the TMPDIR it was started with, so that nothing the toolkit or a test reads or
// writes there (the file dialog's history, temporary files) comes from or reaches the machine's
// user or another test program. They are removed when the program exits. Call it first in main,
// before anything reads the environment; it ends the program when the folders cannot be made.
void IsolateFromMachine();

} // namespace support
