#include "MyConvolution.h"
