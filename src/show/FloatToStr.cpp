#include "show/FloatToStr.h"

#include <QLocale>

QString FloatToStr(double value) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'g', 15);
}
