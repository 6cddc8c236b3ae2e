// The few places where the terminal front-end meets the operating system's console: whether a
// stream is a terminal, its width, escape sequences, and standard input read one byte at a time
// with a wait that can time out (so the loop can send "Tick" while nobody types). Echo for the
// password is switched off by EchoGuard. The posix/ half works on descriptors with poll, read and
// ioctl; the win/ half on the Windows console API (or a pipe) behind the same descriptor numbers
// 0, 1 and 2.
#pragma once

namespace LarkTerm::Console {

// True when `descriptor` is an interactive terminal (a console window on Windows).
bool IsTerminal(int descriptor);

// The terminal's width in columns; 0 when it does not say.
int Columns(int descriptor);

// Makes the terminal on `descriptor` interpret the cursor movements the status area uses; false
// when it cannot (an old Windows console): then plain lines are written instead.
bool EnableEscapes(int descriptor);

enum ReadResult {
    CR_Byte = 1,   // `byte` holds the next byte
    CR_Again = 0,  // nothing to read without blocking
    CR_End = -1,   // end of input, or an error that ends it
};

// Reads one byte; never more, so whatever follows stays for the next reader.
ReadResult ReadByte(int descriptor, char& byte);

enum WaitResult {
    WR_Interrupted = -1,  // a signal ended the wait early
    WR_TimedOut = 0,
    WR_Ready = 1,
};

// Waits up to `timeoutMs` (-1: without limit, 0: just a look) until `input` (-1: none) has a byte,
// or a line ready to read, or has ended, or until `other` (-1: none; a descriptor of the
// launcher's loop) is readable. `inputReady` and `otherReady` say which.
WaitResult WaitForInput(int input, int other, int timeoutMs, bool& inputReady, bool& otherReady);

// The window has ended: a read of standard input still waiting on the window's behalf is called
// off, so the byte it waits for goes to whoever reads the input next (the launcher's successor).
void StopReading();

}  // namespace LarkTerm::Console
