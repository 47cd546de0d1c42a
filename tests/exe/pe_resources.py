"""Reads a PE file's header time stamp, its resources and the DLLs it
imports, without Windows."""
import struct

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE file")
        coff = pe + 4
        sections, self.time_stamp, _, _, optional_size = struct.unpack_from("<HIIIH", self.data, coff + 2)
        optional = coff + 20
        # Data directories begin at 96 (PE32) or 112 (PE32+); the resources' is the third.
        directories = optional + (112 if struct.unpack_from("<H", self.data, optional)[0] == 0x20B else 96)
        self.import_rva, self.resource_rva = (struct.unpack_from("<I", self.data, directories + i * 8)[0]
                                              for i in (1, 2))
        self.sections = [struct.unpack_from("<IIII", self.data, optional + optional_size + 40 * i + 8)
                         for i in range(sections)]

    def offset(self, rva):
        for size, address, raw_size, raw_pointer in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw_pointer + rva - address
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def _entries(self, directory):
        named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            yield name, target

    def resources(self):
        """{(type, id): bytes}, the first language of each; named entries keep their raw name field."""
        root = self.offset(self.resource_rva)
        found = {}
        for kind, kinds in self._entries(root):
            for name, names in self._entries(root + (kinds & 0x7FFFFFFF)):
                _, data_entry = next(self._entries(root + (names & 0x7FFFFFFF)))
                rva, size = struct.unpack_from("<II", self.data, root + data_entry)
                found[(kind, name)] = self.data[self.offset(rva):self.offset(rva) + size]
        return found

    def icon_group(self, group_id):
        """(width, bits per pixel, image bytes) of each image of an icon group."""
        resources = self.resources()
        group = resources[(RT_GROUP_ICON, group_id)]
        count = struct.unpack_from("<H", group, 4)[0]
        images = []
        for i in range(count):
            width, _, _, _, _, bits, _, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            images.append((width or 256, bits, resources[(RT_ICON, image_id)]))
        return images

    def imported_dlls(self):
        """Names of the DLLs Windows loads with the exe, lower case."""
        names = []
        if not self.import_rva:
            return names
        entry = self.offset(self.import_rva)
        while name := struct.unpack_from("<I", self.data, entry + 12)[0]:
            start = self.offset(name)
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii").lower())
            entry += 20
        return names
