#include "MyReverb.h"
