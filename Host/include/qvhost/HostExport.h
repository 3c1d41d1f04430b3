// Visibility of the reference host library's interface.
#pragma once

#define QVHOST_API __attribute__((visibility("default")))
