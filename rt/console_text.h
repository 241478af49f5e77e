#pragma once
// Text the program prints to its console, one file per OS.
namespace corvane {

// Makes the console show the program's UTF-8 text as it is: on Windows the console's own
// code page is the OEM one whatever the program's is. Nothing to do on POSIX.
void UseUtf8Console();

}  // namespace corvane
