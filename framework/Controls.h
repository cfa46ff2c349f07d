#pragma once
// The controls a form holds, each kind in a file of its own.
#include "framework/Buttons.h"
#include "framework/Control.h"
#include "framework/Edits.h"
#include "framework/Images.h"
#include "framework/ListBox.h"
#include "framework/PopupMenu.h"
#include "framework/StaticControls.h"
