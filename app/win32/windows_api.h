#pragma once
// windows.h for the window front end. The serial seam's names come first (windows.h would
// otherwise turn them into numbers), and the view's MessageBox stays itself: the API's
// macro of that name is dropped, its calls are written MessageBoxA.
#include "cport/platform/comm_types.h"
// clang-format off
#include <windows.h>
// clang-format on
#undef MessageBox
