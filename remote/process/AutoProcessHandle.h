#pragma once
// Vorn::AutoProcessHandle: sole owner of the cell that stands for one started program.
//
// A handle is empty or owns one heap cell; it deletes its cell when reset, reassigned or
// destroyed. Deleting a cell never stops the program, and a program whose handle is gone is still
// collected when it ends (ChildProcess). Not copyable; one thread uses a handle at a time.
#include <memory>

namespace Vorn {

class ChildProcess;

// The heap cell a handle owns: the started program.
struct ProcessCell {
    std::shared_ptr<ChildProcess> child;
};

class AutoProcessHandle {
public:
    AutoProcessHandle() = default;
    explicit AutoProcessHandle(ProcessCell* cell) : m_cell(cell) {}
    ~AutoProcessHandle() { Reset(); }
    AutoProcessHandle(const AutoProcessHandle&) = delete;
    AutoProcessHandle& operator=(const AutoProcessHandle&) = delete;

    // Deletes the cell, if any; the handle becomes empty.
    void Reset();
    // Takes cell; the old cell is deleted when it is a different one.
    void Assign(ProcessCell* cell);
    // Resets this handle, takes other's cell and leaves other empty.
    void Transfer(AutoProcessHandle& other);

    ProcessCell* Get() const { return m_cell; }
    bool IsEmpty() const { return m_cell == nullptr; }
    // The program, or null for an empty handle.
    ChildProcess* Child() const { return m_cell ? m_cell->child.get() : nullptr; }

private:
    ProcessCell* m_cell = nullptr;
};

}  // namespace Vorn
