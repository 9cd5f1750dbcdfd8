#include "MyComp.h"
