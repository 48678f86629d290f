#include "remote/process/AutoProcessHandle.h"

#include "remote/process/ChildProcess.h"

namespace Vorn {

void AutoProcessHandle::Reset() {
    delete m_cell;
    m_cell = nullptr;
}

void AutoProcessHandle::Assign(ProcessCell* cell) {
    if (cell == m_cell) return;
    delete m_cell;
    m_cell = cell;
}

void AutoProcessHandle::Transfer(AutoProcessHandle& other) {
    if (&other == this) return;
    Reset();
    m_cell = other.m_cell;
    other.m_cell = nullptr;
}

}  // namespace Vorn
