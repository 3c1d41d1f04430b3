// Math value types shared with the host (being written).
#pragma once
