#include "MyEqu.h"
