#include "app/Application.h"

#include <windows.h>

#include <cstdlib>

// The standard library's default terminate handler prints the demangled name of
// the exception, which links the whole demangler into the program. Nothing of
// ours lets an exception escape, so a plain stop is enough and keeps the
// executable small.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vparse::startUp(); }
