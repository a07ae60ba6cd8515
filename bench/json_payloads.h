#pragma once
// The payload shapes the system really handles, built in their wire form (compact UTF-8).

#include <cstdio>
#include <string>

namespace guild::bench {

// A gateway dispatch of one guild message, about 1 KB.
inline std::string MessageCreatePayload() {
  return R"({"op":0,"s":2871,"t":"MESSAGE_CREATE","id":"MESSAGE_CREATE:1a2b3c4d-5e6f-7081-92a3-b4c5d6e7f809",)"
         R"("d":{"author":{"avatar":"https://thirdqq.qlogo.cn/qqapp/102003456/A1B2C3D4E5F60718293A4B5C6D7E8F90/100",)"
         R"("bot":false,"id":"144115218677563403","username":"频道用户"},"channel_id":"634987215",)"
         R"("content":"<@!11587385629447331585> /查询 天气 北京 tomorrow please","guild_id":"15387653211876098741",)"
         R"("id":"08f3a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6e7f810a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6e7f8a9b0c1d2e3f4",)"
         R"("member":{"joined_at":"2022-08-08T19:03:52+08:00","nick":"昵称","roles":["1","11"]},)"
         R"("mentions":[{"avatar":"http://thirdqq.qlogo.cn/g?b=oidb&k=xAbCdEfGhIjKlMnOp&s=640",)"
         R"("bot":true,"id":"11587385629447331585","username":"助手机器人"}],"seq":2871,)"
         R"("seq_in_channel":"2871","timestamp":"2023-05-20T12:34:56+08:00",)"
         R"("attachments":[{"content_type":"image/png","filename":"5D3B2A1C0F9E8D7C6B5A49382716A5B4.png",)"
         R"("height":720,"id":"2550923461","size":123456,)"
         R"("url":"gchat.qpic.cn/qmeetpic/49181665133521571/634987215-2550923461-5D3B2A1C0F9E8D7C6B5A49382716A5B4/0",)"
         R"("width":1280}]}})";
}

// The OneBot v11 group message event the system sends for it (segment array form).
inline std::string GroupMessageEventPayload() {
  return R"({"time":1684557296,"self_id":102003456,"post_type":"message","message_type":"group",)"
         R"("sub_type":"normal","message_id":2871,"group_id":634987215,"user_id":144115218,)"
         R"("anonymous":null,"message":[{"type":"at","data":{"qq":"102003456"}},)"
         R"({"type":"text","data":{"text":" /查询 天气 北京 tomorrow please"}},)"
         R"({"type":"image","data":{"file":"https:\/\/gchat.qpic.cn\/qmeetpic\/0\/634987215-2550923461\/0",)"
         R"("url":"https:\/\/gchat.qpic.cn\/qmeetpic\/0\/634987215-2550923461\/0"}}],)"
         R"("raw_message":"[CQ:at,qq=102003456] \/查询 天气 北京 tomorrow please[CQ:image,file=0]",)"
         R"("font":0,"sender":{"user_id":144115218,"nickname":"频道用户","card":"昵称","sex":"unknown",)"
         R"("age":0,"area":"","level":"","role":"member","title":""}})";
}

// A guild member list reply of 400 members, about 100 KB.
inline std::string MemberListPayload(int members = 400) {
  std::string text = "[";
  char entry[512];
  for (int i = 0; i < members; ++i) {
    std::snprintf(entry, sizeof entry,
                  R"(%s{"user":{"id":"1441152186775%05d","username":"成员%04d号",)"
                  R"("avatar":"https://thirdqq.qlogo.cn/g?b=oidb&k=Qm%08dXyZ&s=0","bot":%s,)"
                  R"("union_openid":"","union_user_account":""},"nick":"群昵称%04d",)"
                  R"("roles":["1","%d"],"joined_at":"2022-08-%02dT19:03:52+08:00"})",
                  i == 0 ? "" : ",", i, i, i * 7919, i % 50 == 0 ? "true" : "false", i,
                  i % 5 == 0 ? 2 : 4, 1 + i % 28);
    text += entry;
  }
  text += "]";
  return text;
}

}  // namespace guild::bench
