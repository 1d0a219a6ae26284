# The file abstraction, its binary header operations and the XML writer.
vellorin_add_test(AbstractFileTest
    SOURCES AbstractFileTest.cpp
    LIBS CommonFile)
vellorin_add_test(FileQtTest
    SOURCES FileQtTest.cpp
    LIBS CommonFileQt VellorinTestSupport)
vellorin_add_test(BinaryHeaderTest
    SOURCES BinaryHeaderTest.cpp
    LIBS CommonFile)
vellorin_add_test(XmlWriterTest
    SOURCES XmlWriterTest.cpp
    LIBS CommonXmlWriter)
