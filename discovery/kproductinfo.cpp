#include "discovery/kproductinfo.h"

KProductInfo::KProductInfo(QObject* parent)
    : QObject(parent)
{ }
