// The version of vorsk.exe and of its companion vorsk64.exe, which always travel together.
#pragma once

#define VORSK_VERSION 1, 0, 0, 1
#define VORSK_VERSION_TEXT "1, 0, 0, 1"
