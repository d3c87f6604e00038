// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/quiet_library.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vesk::platform {

namespace {

// What the library calls instead of the C library's vfprintf.
int vfprintfWithoutStderr(std::FILE* stream, const char* format, va_list arguments) {
    if (stream == stderr) {
        return 0;
    }
    return std::vfprintf(stream, format, arguments);
}

// The loaded object that holds an address, as dl_iterate_phdr describes it.
struct Found {
    std::uintptr_t address = 0;
    ElfW(Addr) base = 0;
    const ElfW(Phdr) * headers = nullptr;
    ElfW(Half) headerCount = 0;
};

int findObject(dl_phdr_info* info, std::size_t, void* data) {
    Found& found = *static_cast<Found*>(data);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        const ElfW(Addr) start = info->dlpi_addr + header.p_vaddr;
        if (header.p_type == PT_LOAD && found.address >= start &&
            found.address < start + header.p_memsz) {
            found.base = info->dlpi_addr;
            found.headers = info->dlpi_phdr;
            found.headerCount = info->dlpi_phnum;
            return 1;
        }
    }
    return 0;
}

// The import slots of an object: its procedure-linkage relocations and the tables they name.
struct Imports {
    const char* relocations = nullptr; // Rel or Rela entries
    std::size_t size = 0;              // bytes
    std::size_t entrySize = 0;
    const ElfW(Sym) * symbols = nullptr;
    const char* names = nullptr;
};

Imports importsOf(const Found& object) {
    Imports imports;
    const ElfW(Dyn)* dynamic = nullptr;
    for (ElfW(Half) i = 0; i < object.headerCount; ++i) {
        if (object.headers[i].p_type == PT_DYNAMIC) {
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(object.base + object.headers[i].p_vaddr);
        }
    }
    // The loader has made most of these addresses absolute; on some systems they stay
    // relative to the object's base.
    const auto at = [&object](ElfW(Addr) value) {
        return reinterpret_cast<const char*>(value < object.base ? object.base + value : value);
    };
    for (; dynamic != nullptr && dynamic->d_tag != DT_NULL; ++dynamic) {
        switch (dynamic->d_tag) {
        case DT_JMPREL:
            imports.relocations = at(dynamic->d_un.d_ptr);
            break;
        case DT_PLTRELSZ:
            imports.size = dynamic->d_un.d_val;
            break;
        case DT_PLTREL:
            imports.entrySize =
                dynamic->d_un.d_val == DT_RELA ? sizeof(ElfW(Rela)) : sizeof(ElfW(Rel));
            break;
        case DT_SYMTAB:
            imports.symbols = reinterpret_cast<const ElfW(Sym)*>(at(dynamic->d_un.d_ptr));
            break;
        case DT_STRTAB:
            imports.names = at(dynamic->d_un.d_ptr);
            break;
        default:
            break;
        }
    }
    return imports;
}

// Writes `value` into one of the object's slots. The loader makes the page read-only after
// filling it when it lies in the object's RELRO range (as it does, whole pages only); such a
// page is opened for the write and closed again, any other is writable as it is.
bool overwrite(const Found& object, void** slot, void* value) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto pageOf = [page](std::uintptr_t address) {
        return address & ~(page - 1);
    };
    const std::uintptr_t start = pageOf(reinterpret_cast<std::uintptr_t>(slot));
    bool readOnly = false;
    for (ElfW(Half) i = 0; i < object.headerCount; ++i) {
        const ElfW(Phdr)& header = object.headers[i];
        if (header.p_type == PT_GNU_RELRO) {
            const std::uintptr_t from = pageOf(object.base + header.p_vaddr);
            const std::uintptr_t to = pageOf(object.base + header.p_vaddr + header.p_memsz);
            readOnly = start >= from && start < to;
        }
    }
    auto* first = reinterpret_cast<void*>(start);
    if (readOnly && ::mprotect(first, page, PROT_READ | PROT_WRITE) != 0) {
        return false;
    }
    *slot = value;
    if (readOnly) {
        ::mprotect(first, page, PROT_READ);
    }
    return true;
}

} // namespace

bool dropLibraryStderr(const void* inside) {
    Found object;
    object.address = reinterpret_cast<std::uintptr_t>(inside);
    if (::dl_iterate_phdr(findObject, &object) == 0) {
        return false;
    }
    const Imports imports = importsOf(object);
    if (imports.relocations == nullptr || imports.symbols == nullptr || imports.names == nullptr ||
        imports.entrySize == 0) {
        return false;
    }
    constexpr bool k64 = sizeof(void*) == 8;
    for (std::size_t at = 0; at + imports.entrySize <= imports.size; at += imports.entrySize) {
        // Rel and Rela begin alike: the slot's offset, then the symbol and type.
        const auto* entry = reinterpret_cast<const ElfW(Rel)*>(imports.relocations + at);
        const std::size_t symbol = k64 ? entry->r_info >> 32 : entry->r_info >> 8;
        if (std::strcmp(imports.names + imports.symbols[symbol].st_name, "vfprintf") == 0) {
            auto* slot = reinterpret_cast<void**>(object.base + entry->r_offset);
            return overwrite(object, slot, reinterpret_cast<void*>(&vfprintfWithoutStderr));
        }
    }
    return false;
}

} // namespace vesk::platform
