# The file abstraction, its binary header operations and the XML writer.
vellorin_add_test(AbstractFileTest
    SOURCES AbstractFileTest.cpp support/MemoryFile.h
    LIBS CommonFile)
vellorin_add_test(FileQtTest
    SOURCES FileQtTest.cpp
    LIBS CommonFileQt)
vellorin_add_test(BinaryHeaderTest
    SOURCES BinaryHeaderTest.cpp support/MemoryFile.h
    LIBS CommonFile)
vellorin_add_test(XmlWriterTest
    SOURCES XmlWriterTest.cpp support/MemoryFile.h
    LIBS CommonXmlWriter)
