// This test binary's CreateComponent.
#include "TestCommand.h"

#include "QVModule.h"

const QVGUID kTestCommandClassId = {0x54455354, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kTestCommandClassId)) return nullptr;
  return QVNewObject<TTestCommand>();
}
