#!/usr/bin/env python3
"""Writes the small problem archives the engine tests keep (run once; the files are committed).

Each one is a real archive with one thing wrong, named after it."""
import os, struct, zipfile, io, zlib

HERE = os.path.dirname(os.path.abspath(__file__))

def good(names=(('a.txt', b'hello hello hello hello\n' * 20), ('b.bin', bytes(range(256)))), method=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', method) as z:
        for n, d in names:
            z.writestr(n, d)
    return bytearray(buf.getvalue())

def end_pos(b):
    return b.rfind(b'PK\x05\x06')

def cd_pos(b):
    return struct.unpack_from('<I', b, end_pos(b) + 16)[0]

def raw_named(name):
    """An archive with one stored member whose name is taken as given (no normalisation)."""
    data = b'payload of ' + name
    crc = zlib.crc32(data)
    local = struct.pack('<IHHHHHIIIHH', 0x04034B50, 10, 0, 0, 0, 0x21, crc, len(data), len(data), len(name), 0) + name + data
    central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 10, 0, 0, 0, 0x21, crc, len(data), len(data),
                          len(name), 0, 0, 0, 0, 0, 0) + name
    good_local = b''
    return bytearray(local + central + struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 1, 1, len(central), len(local), 0))

def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(bytes(data))

b = good(); write('truncated_central_directory.zip', b[:cd_pos(b) + 30])
b = good(); write('truncated_member_data.zip', b[:40] )
b = good(); e = end_pos(b); struct.pack_into('<HH', b, e + 8, 5, 5); write('incorrect_number_entries.zip', b)
b = good(); e = end_pos(b); struct.pack_into('<HH', b, e + 8, 0xFFF0, 0xFFF0); write('huge_number_entries.zip', b)
b = good(); e = end_pos(b); struct.pack_into('<I', b, e + 16, 0x7FFFFFF0); write('cd_offset_past_end.zip', b)
b = good(); e = end_pos(b); struct.pack_into('<I', b, e + 12, 0x7FFFFFF0); write('cd_size_past_start.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<I', b, c + 42, 0x00FFFFF0); write('local_offset_past_end.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<H', b, c + 28, 0xFFFF); write('name_length_past_directory.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<I', b, c + 20, 0x7FFFFFF0); write('compressed_size_past_end.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<I', b, c + 24, 5); write('uncompressed_size_too_small.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<I', b, c + 24, 0x7FFFFFF0); write('uncompressed_size_too_large.zip', b)
b = good(); b[0:4] = b'XXXX'; write('bad_local_signature.zip', b)
b = good(); c = cd_pos(b); b[c:c + 4] = b'PK\x01\x09'; write('bad_central_signature.zip', b)
b = good(); b[40:60] = b'\xff' * 20; write('bad_deflate_data.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<H', b, c + 10, 14); write('unsupported_method_lzma.zip', b)
b = good(); e = end_pos(b); struct.pack_into('<HH', b, e + 4, 1, 1); write('spanned_disk_number.zip', b)
b = good(); e = end_pos(b); b[e:e] = struct.pack('<IIQI', 0x07064B50, 0, 0, 1); write('zip64_locator.zip', b)
b = good(); c = cd_pos(b); struct.pack_into('<I', b, c + 16, 0); write('wrong_crc.zip', b)
write('empty_archive.zip', struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 0, 0, 0, 0, 0))
write('not_an_archive.zip', b'This is a text file, not an archive.\n' * 10)
write('end_record_comment_too_long.zip', struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 0, 0, 0, 0, 500) + b'short')
write('dot_dot_slash_name.zip', raw_named(b'../escape.txt'))
write('dot_dot_backslash_name.zip', raw_named(b'..\\escape.txt'))
write('nested_dot_dot_name.zip', raw_named(b'dir/../../escape.txt'))
write('absolute_path_name.zip', raw_named(b'/tmp/escape.txt'))
write('absolute_backslash_name.zip', raw_named(b'\\windows\\escape.txt'))
write('drive_letter_name.zip', raw_named(b'C:\\escape.txt'))
write('drive_relative_name.zip', raw_named(b'c:escape.txt'))
