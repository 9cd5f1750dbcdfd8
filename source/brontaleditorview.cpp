#include "brontaleditorview.h"
