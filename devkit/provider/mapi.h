// The MAPI headers, in the order they need, for every file of the provider.
#pragma once
#include <windows.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapiguid.h>
