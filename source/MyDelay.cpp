#include "MyDelay.h"
