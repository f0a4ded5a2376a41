#include <gtest/gtest.h>

#include "base/Exception.h"
#include "ipsock/IpDataInits.h"

TEST(DataInits, StartWithTheDocumentedDefaults) {
  const TIpDataInits inits;
  EXPECT_TRUE(inits.SocketOptions().Empty());
  EXPECT_EQ(inits.FixedLineLength(), 80u);
  EXPECT_EQ(inits.IdleTimeout(), 0u);
  EXPECT_EQ(inits.LineTermChar(), '\n');
  EXPECT_EQ(inits.LineTerminator(), ltCRLF);
  EXPECT_EQ(inits.LogOptions(), (TIpLogOptionSet{loHighData, loTelnet}));
  EXPECT_EQ(inits.ReceiveBufferSize(), 4096);
  EXPECT_EQ(inits.ReceiveMode(), rmLine);
  EXPECT_EQ(inits.SendBufferSize(), 4096);
  EXPECT_FALSE(inits.StripLineTerminator());
}

TEST(DataInits, CopyEveryField) {
  TIpDataInits source;
  source.SetSocketOptions({soKeepAlive, soNoDelay});
  source.SetFixedLineLength(12);
  source.SetIdleTimeout(3000);
  source.SetLineTermChar(';');
  source.SetLineTerminator(ltOther);
  source.SetLogOptions({loLowData});
  source.SetReceiveBufferSize(8192);
  source.SetReceiveMode(rmStream);
  source.SetSendBufferSize(16384);
  source.SetStripLineTerminator(true);
  TIpDataInits copy;
  copy.CopyFrom(source);
  EXPECT_EQ(copy.SocketOptions(), (TIpSockOptionSet{soKeepAlive, soNoDelay}));
  EXPECT_EQ(copy.FixedLineLength(), 12u);
  EXPECT_EQ(copy.IdleTimeout(), 3000u);
  EXPECT_EQ(copy.LineTermChar(), ';');
  EXPECT_EQ(copy.LineTerminator(), ltOther);
  EXPECT_EQ(copy.LogOptions(), TIpLogOptionSet{loLowData});
  EXPECT_EQ(copy.ReceiveBufferSize(), 8192);
  EXPECT_EQ(copy.ReceiveMode(), rmStream);
  EXPECT_EQ(copy.SendBufferSize(), 16384);
  EXPECT_TRUE(copy.StripLineTerminator());
}

TEST(DataInits, TakeOnlyTheSocketOptionsFromBaseSettings) {
  TIpBaseInits base;
  base.SetSocketOptions({soReuseAddr});
  TIpDataInits copy;
  copy.SetFixedLineLength(7);
  copy.CopyFrom(base);
  EXPECT_EQ(copy.SocketOptions(), TIpSockOptionSet{soReuseAddr});
  EXPECT_EQ(copy.FixedLineLength(), 7u);
}

TEST(DataInits, RefuseAForeignSource) {
  TIpDataInits inits;
  const TIpSocksServerInfo foreign;
  EXPECT_THROW(inits.CopyFrom(foreign), EConvertError);
}
