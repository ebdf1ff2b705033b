// The application framework: everything a program built on it includes.
#pragma once

#include "framework/app.h"
#include "framework/bars.h"
#include "framework/dialog.h"
#include "framework/doc.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "framework/view.h"
