#pragma once
// Resource ids of WindowTest.rc.
#define IDD_PROBE 900
