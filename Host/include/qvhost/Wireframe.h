// The line set a component's preview is drawn into.
#pragma once

#include "HostObject.h"
#include "IHostGeometry.h"

namespace qvhost {

class QVHOST_API Wireframe final : public HostObject<IHostWireframe> {
 public:
  void Prepare(int32_t a, int32_t b) override {
    preparedA = a;
    preparedB = b;
  }
  QVLineSet* GetLineSet(int32_t index) override { return index == 0 ? &fLines : nullptr; }

  const QVLineSet& Lines() const { return fLines; }
  int32_t preparedA = -1, preparedB = -1;

 private:
  QVLineSet fLines{};
};

}  // namespace qvhost
