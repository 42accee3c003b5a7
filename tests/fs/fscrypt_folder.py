# fscrypt_folder.py FOLDER: makes FOLDER encrypted (a v2 policy, a random key added to its file system).
import fcntl, os, struct, sys

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
fd = os.open(folder, os.O_RDONLY)
raw = os.urandom(64)
# FS_IOC_ADD_ENCRYPTION_KEY: a key specifier of type IDENTIFIER, which the kernel fills in.
arg = bytearray(struct.pack('=II32sII32x', 2, 0, b'', len(raw), 0) + raw)
fcntl.ioctl(fd, (3 << 30) | (80 << 16) | (ord('f') << 8) | 23, arg)
# FS_IOC_SET_ENCRYPTION_POLICY, v2: AES-256-XTS contents, AES-256-CTS names.
fcntl.ioctl(fd, (2 << 30) | (12 << 16) | (ord('f') << 8) | 19, struct.pack('=BBBB4x16s', 2, 1, 4, 0, bytes(arg[8:24])))
