#include "MyChorus.h"
