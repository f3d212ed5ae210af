#pragma once
// Numbers as the window shows them and the command line prints them.

#include <QString>

// The platform's general number format: shortest form, up to 15 significant
// digits, the user's decimal separator, no group separator. Any thread.
QString FloatToStr(double value);
