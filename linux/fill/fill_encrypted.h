#ifndef FILL_ENCRYPTED_H
#define FILL_ENCRYPTED_H

#include "fill_options.h"
#include "fill_volume.h"

// Whether the file system holding the volume lies on dm-crypt, directly or through the devices
// below it (LVM on LUKS, a partition of an opened container): its zeros reach the disk as ciphertext.
bool bOn_Dm_Crypt(const Fill_Volume &volume);

// After a fill: where the volume is encrypted, says, unless quiet, that an image of the disk below
// will not compress for all the zeros, though one of the opened device will.
void vTell_Encrypted(const Fill_Volume &volume, const Fill_Options &options);

#endif // FILL_ENCRYPTED_H
