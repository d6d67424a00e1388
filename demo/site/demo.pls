[playlist]
NumberOfEntries=2
File1={{MP3_URL}}
Title1=Quillmoor Market Hour (MP3)
Length1=-1
File2={{OGG_URL}}
Title2=Quillmoor Market Hour (Ogg Vorbis)
Length2=-1
Version=2
