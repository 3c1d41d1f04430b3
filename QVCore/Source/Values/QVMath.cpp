// Math value types (being written).
#include "QVMath.h"
