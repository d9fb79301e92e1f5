#pragma once
// The one way the program includes the Windows headers. The Win32 macros whose names collide
// with our own functions (DeleteFile, CreateWindow...) are removed here; call the W functions.
#include <windows.h>

#undef DeleteFile
#undef CreateFile
#undef MessageBox
#undef FindText
#undef GetObject
#undef CreateWindow
