#include "MyDisto.h"
